#include "platform/Display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

namespace {

// Mode sizes as "WxH" lines, current first, from the kernel's list for the first connected
// display; bits per pixel and refresh are not in that list, so 32 bits at 60 Hz are assumed
// (16-bit variants are offered as a screen does).
std::vector<DisplayMode> KernelModes() {
  std::vector<DisplayMode> modes;
  std::error_code error;
  std::vector<std::filesystem::path> connectors;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/drm", error)) {
    connectors.push_back(entry.path());
  }
  std::sort(connectors.begin(), connectors.end());
  for (const auto& connector : connectors) {
    std::ifstream status(connector / "status");
    std::string state;
    if (!(status >> state) || state != "connected") continue;
    std::ifstream list(connector / "modes");
    std::string line;
    while (std::getline(list, line)) {
      int width = 0;
      int height = 0;
      if (std::sscanf(line.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        continue;
      }
      for (int bits : {32, 16}) {
        DisplayMode mode{bits, width, height, 60};
        if (std::find(modes.begin(), modes.end(), mode) == modes.end()) modes.push_back(mode);
      }
    }
    if (!modes.empty()) break;
  }
  return modes;
}

// KORVEL_DISPLAY="WxH[xBPP][@HZ]": the screen of a machine without one, or a chosen one.
std::optional<DisplayMode> EnvironmentMode() {
  const char* text = std::getenv("KORVEL_DISPLAY");
  if (!text || !*text) return std::nullopt;
  DisplayMode mode{32, 0, 0, 60};
  std::string value(text);
  std::size_t at = value.find('@');
  if (at != std::string::npos) {
    mode.frequency_hz = std::atoi(value.c_str() + at + 1);
    value.resize(at);
  }
  int parsed = std::sscanf(value.c_str(), "%dx%dx%d", &mode.width, &mode.height,
                           &mode.bits_per_pixel);
  if (parsed < 2 || mode.width <= 0 || mode.height <= 0 || mode.bits_per_pixel <= 0 ||
      mode.frequency_hz <= 0) {
    return std::nullopt;
  }
  return mode;
}

class BuiltInDisplay final : public DisplayProvider {
 public:
  DisplayMode CurrentMode() override {
    std::vector<DisplayMode> modes = Modes();
    return modes.front();
  }
  std::vector<DisplayMode> Modes() override {
    if (std::optional<DisplayMode> mode = EnvironmentMode()) return {*mode};
    std::vector<DisplayMode> modes = KernelModes();
    // Without a screen (a server, a container) a common desktop size stands in.
    if (modes.empty()) modes = {{32, 1920, 1080, 60}, {32, 1440, 900, 60}, {32, 1024, 768, 60}};
    return modes;
  }
};

struct DisplayState {
  std::mutex lock;
  // Guarded by lock.
  std::shared_ptr<DisplayProvider> provider = std::make_shared<BuiltInDisplay>();
  std::optional<DisplayMode> virtual_mode;
};

DisplayState& State() {
  static DisplayState* state = new DisplayState;
  return *state;
}

std::shared_ptr<DisplayProvider> Provider() {
  DisplayState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.provider;
}

}  // namespace

std::shared_ptr<DisplayProvider> SetDisplayProvider(std::shared_ptr<DisplayProvider> provider) {
  if (!provider) provider = std::make_shared<BuiltInDisplay>();
  DisplayState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  std::swap(state.provider, provider);
  state.virtual_mode.reset();
  return provider;
}

DisplayMode CurrentDisplayMode() {
  {
    DisplayState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.virtual_mode) return *state.virtual_mode;
  }
  return Provider()->CurrentMode();
}

std::vector<DisplayMode> DisplayModes() { return Provider()->Modes(); }

bool ChangeDisplayMode(const DisplayMode& mode) {
  std::vector<DisplayMode> modes = DisplayModes();
  if (std::find(modes.begin(), modes.end(), mode) == modes.end()) return false;
  DisplayState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.virtual_mode = mode;
  return true;
}

void RestoreDisplayMode() {
  DisplayState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.virtual_mode.reset();
}

bool IsDisplayModeChanged() {
  DisplayState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.virtual_mode.has_value();
}

}  // namespace platform
