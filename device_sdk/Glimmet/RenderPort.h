#pragma once

// One render port: the window it draws into, the conversion of planar 4:2:0 pictures to the
// window's size in BGRA, and the recording indicator drawn over them. A port serialises its
// own calls: pictures arrive on decoding threads while the user-interface thread changes the
// indicator or releases the port.

#include <cstdint>
#include <mutex>
#include <vector>

struct SwsContext;

namespace glimmet {

enum class OsdStatus { None = 0, Manual = 1, Scheduled = 2 };

class RenderPort {
 public:
  RenderPort() = default;
  ~RenderPort();
  RenderPort(const RenderPort&) = delete;
  RenderPort& operator=(const RenderPort&) = delete;

  void Bind(void* window);
  void Release();
  bool bound();

  // Converts and presents one picture (Y, then V, then U planes). Returns a GL_ code.
  int Display(const uint8_t* picture, int width, int height);
  // Sets the indicator and presents the last picture again with it.
  int SetOsd(OsdStatus status);

 private:
  // Draws the indicator into `shown_` and presents it (or the plain picture). Lock held.
  int PresentLocked();

  std::mutex lock_;
  // Guarded by lock_.
  void* window_ = nullptr;
  OsdStatus osd_ = OsdStatus::None;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> plain_;  // last picture at window size, BGRA, without the indicator
  std::vector<uint8_t> shown_;  // the same with the indicator drawn over it
  int shown_width_ = 0;
  int shown_height_ = 0;
};

// Paints the indicator of `status` into a BGRA picture: a filled dot near the top-right
// corner, red for a manual recording and yellow for a scheduled one, with a dark rim.
void DrawOsd(uint8_t* bgra, int width, int height, OsdStatus status);

}  // namespace glimmet
