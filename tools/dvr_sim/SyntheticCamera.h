#pragma once

// The picture and sound of one simulated camera: a patterned scene seen through a pan, tilt
// and zoom head, a bar sweeping across it, the channel number and a running clock; the sound
// is a steady tone whose pitch depends on the channel.

#include <cstdint>
#include <ctime>
#include <vector>

namespace dvr_sim {

// Pan, tilt, zoom and iris of a camera head. Commands use the SDK's numbering: 0 stop,
// 1 up, 2 down, 3 left, 4 right, 6 zoom in, 7 zoom out, 8 focus near, 9 focus far,
// 10 iris open, 11 iris close.
struct PtzState {
  double pan_x = 0;      // scene position at the picture centre, scene pixels
  double pan_y = 0;
  double zoom = 1;       // 1 .. 8
  int brightness = 0;    // -60 .. 60, moved by the iris
  uint32_t command = 0;  // movement in progress, 0 none

  // Advances the movement in progress by one picture interval.
  void Step();
};

// One planar 4:2:0 picture (Y, then U, then V; the encoder's own order).
struct YuvPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, u, v;
  void Allocate(int w, int h);
};

class SyntheticCamera {
 public:
  // `channel` from 0; width and height even.
  SyntheticCamera(int channel, int width, int height);

  // Draws the scene for picture number `frame` (the bar position follows it) with `clock`
  // written as "YYYY-MM-DD HH:MM:SS" in local time, through the head `ptz`.
  void Render(uint64_t frame, std::time_t clock, const PtzState& ptz, YuvPicture& out) const;

  // Fills `count` samples of the tone starting at sample number `first` (8000 per second).
  void Tone(uint64_t first, int16_t* samples, int count) const;

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int channel_;
  int width_;
  int height_;
};

}  // namespace dvr_sim
