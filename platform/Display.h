#pragma once

// Display modes.
//
// The current mode is the screen's, as reported by a replaceable provider (the programs install
// one that asks the screen; tests install a fake). Changing the mode switches a virtual mode
// that the programs use to size their main window; the real display is never reconfigured.
// Restoring returns to the screen's mode. Process-wide (part of libplatform.so); any thread.

#include <memory>
#include <vector>

namespace platform {

struct DisplayMode {
  int bits_per_pixel = 0;
  int width = 0;
  int height = 0;
  int frequency_hz = 0;
  bool operator==(const DisplayMode&) const = default;
};

class DisplayProvider {
 public:
  virtual ~DisplayProvider() = default;
  // The screen's current mode.
  virtual DisplayMode CurrentMode() = 0;
  // Every mode the screen offers, in the order to enumerate them.
  virtual std::vector<DisplayMode> Modes() = 0;
};

// Installs a provider and returns the previous one; null restores the built-in provider (the
// first connected display of the kernel's mode list, or KORVEL_DISPLAY="WxH[xBPP][@HZ]").
std::shared_ptr<DisplayProvider> SetDisplayProvider(std::shared_ptr<DisplayProvider> provider);

// The mode in effect: the virtual mode after a successful change, else the screen's.
DisplayMode CurrentDisplayMode();
// The screen's modes (EnumDisplaySettings by index).
std::vector<DisplayMode> DisplayModes();
// Switches the virtual mode. Fails (false, nothing changed) for a mode the screen does not
// offer; width, height, bits per pixel and frequency must all match one of DisplayModes().
bool ChangeDisplayMode(const DisplayMode& mode);
// Returns to the screen's mode.
void RestoreDisplayMode();
// True while a virtual mode is in effect.
bool IsDisplayModeChanged();

}  // namespace platform
