#include "tools/dvr_sim/SyntheticCamera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/dvr_sim/PixelFont.h"

namespace dvr_sim {
namespace {

constexpr double kPanStep = 6.0;      // scene pixels per picture while panning
constexpr double kZoomStep = 1.03;    // factor per picture while zooming
constexpr double kCellSize = 40.0;    // scene pixels per pattern cell
constexpr double kPi = 3.14159265358979323846;

int CellOf(double scene) { return int(std::floor(scene / kCellSize)); }

}  // namespace

void PtzState::Step() {
  switch (command) {
    case 1: pan_y -= kPanStep / zoom; break;
    case 2: pan_y += kPanStep / zoom; break;
    case 3: pan_x -= kPanStep / zoom; break;
    case 4: pan_x += kPanStep / zoom; break;
    case 6: zoom = std::min(8.0, zoom * kZoomStep); break;
    case 7: zoom = std::max(1.0, zoom / kZoomStep); break;
    case 10: brightness = std::min(60, brightness + 2); break;
    case 11: brightness = std::max(-60, brightness - 2); break;
    default: break;  // stop, focus (no visible effect) and unknown codes
  }
}

void YuvPicture::Allocate(int w, int h) {
  width = w;
  height = h;
  y.assign(size_t(w) * h, 0);
  u.assign(size_t(w / 2) * (h / 2), 128);
  v.assign(size_t(w / 2) * (h / 2), 128);
}

SyntheticCamera::SyntheticCamera(int channel, int width, int height)
    : channel_(channel), width_(width), height_(height) {}

void SyntheticCamera::Render(uint64_t frame, std::time_t clock, const PtzState& ptz,
                             YuvPicture& out) const {
  if (out.width != width_ || out.height != height_) out.Allocate(width_, height_);
  const int w = width_, h = height_;

  // Scene coordinates of every column and row, then the pattern: a checkerboard whose cells
  // differ in colour, so that panning and zooming show plainly.
  std::vector<int> cell_x(w), cell_y(h);
  for (int x = 0; x < w; ++x) cell_x[x] = CellOf(ptz.pan_x + (x - w / 2) / ptz.zoom);
  for (int y = 0; y < h; ++y) cell_y[y] = CellOf(ptz.pan_y + (y - h / 2) / ptz.zoom);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &out.y[size_t(y) * w];
    for (int x = 0; x < w; ++x) {
      int luma = ((cell_x[x] + cell_y[y]) & 1) ? 170 : 70;
      row[x] = uint8_t(std::clamp(luma + ptz.brightness + (x * 30) / w, 16, 235));
    }
  }
  for (int y = 0; y < h / 2; ++y) {
    for (int x = 0; x < w / 2; ++x) {
      int cx = cell_x[2 * x], cy = cell_y[2 * y];
      out.u[size_t(y) * (w / 2) + x] = uint8_t(128 + ((cx * 37 + channel_ * 23) % 7 - 3) * 16);
      out.v[size_t(y) * (w / 2) + x] = uint8_t(128 + ((cy * 53 + channel_ * 11) % 7 - 3) * 16);
    }
  }

  // A white bar sweeping left to right in picture space, independent of the head.
  const int bar = std::max(4, w / 22);
  const int bar_x = int((frame * 6) % uint64_t(w + bar)) - bar;
  for (int y = h / 3; y < 2 * h / 3; ++y)
    for (int x = std::max(0, bar_x); x < std::min(w, bar_x + bar); ++x) {
      out.y[size_t(y) * w + x] = 235;
      out.u[size_t(y / 2) * (w / 2) + x / 2] = 128;
      out.v[size_t(y / 2) * (w / 2) + x / 2] = 128;
    }

  const int scale = std::max(1, h / 144);
  char text[64];
  std::snprintf(text, sizeof text, "CH%02d", channel_ + 1);
  DrawText(out.y.data(), w, w, h, 2 * scale, 2 * scale, scale, text, 235, 16);
  std::tm local{};
  localtime_r(&clock, &local);
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  DrawText(out.y.data(), w, w, h, 2 * scale, h - 10 * scale, scale, text, 235, 16);
  std::snprintf(text, sizeof text, "Z%.1f", ptz.zoom);
  DrawText(out.y.data(), w, w, h, w - TextWidth(4, scale) - scale, 2 * scale, scale, text, 235, 16);
}

void SyntheticCamera::Tone(uint64_t first, int16_t* samples, int count) const {
  const double hz = 400.0 + 100.0 * channel_;
  for (int i = 0; i < count; ++i) {
    // Phase from the sample number modulo one second keeps the tone exact on long runs.
    double cycles = std::fmod(hz * double((first + uint64_t(i)) % 8000), 8000.0) / 8000.0;
    samples[i] = int16_t(6000.0 * std::sin(2 * kPi * cycles));
  }
}

}  // namespace dvr_sim
