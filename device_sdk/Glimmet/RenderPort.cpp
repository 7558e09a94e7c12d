#include "device_sdk/Glimmet/RenderPort.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

#include "device_sdk/Glimmet/Glimmet.h"
#include "platform/Window.h"

namespace glimmet {
namespace {
constexpr int kMaxSide = 8192;
}

RenderPort::~RenderPort() { sws_freeContext(scaler_); }

void RenderPort::Bind(void* window) {
  std::lock_guard<std::mutex> guard(lock_);
  window_ = window;
  osd_ = OsdStatus::None;
  plain_.clear();
  shown_width_ = shown_height_ = 0;
}

void RenderPort::Release() {
  std::lock_guard<std::mutex> guard(lock_);
  window_ = nullptr;
  osd_ = OsdStatus::None;
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  plain_ = {};
  shown_ = {};
  shown_width_ = shown_height_ = 0;
}

bool RenderPort::bound() {
  std::lock_guard<std::mutex> guard(lock_);
  return window_ != nullptr;
}

int RenderPort::Display(const uint8_t* picture, int width, int height) {
  if (!picture || width < 2 || height < 2 || width > kMaxSide || height > kMaxSide ||
      (width & 1) || (height & 1))
    return GL_ERR_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> guard(lock_);
  if (!window_) return GL_ERR_INVALID_PORT;
  platform::Rect client;
  if (!platform::GetClientRect(window_, client)) return GL_ERR_INVALID_ARGUMENT;
  // Scaled to the window at once; a window without a size gets the picture's own.
  int out_width = client.Width() > 0 ? std::min(client.Width(), kMaxSide) : width;
  int out_height = client.Height() > 0 ? std::min(client.Height(), kMaxSide) : height;
  scaler_ = sws_getCachedContext(scaler_, width, height, AV_PIX_FMT_YUV420P, out_width, out_height,
                                 AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return GL_ERR_INVALID_ARGUMENT;
  const size_t luma = size_t(width) * height, chroma = luma / 4;
  const uint8_t* planes[4] = {picture, picture + luma + chroma, picture + luma, nullptr};
  const int strides[4] = {width, width / 2, width / 2, 0};
  plain_.resize(size_t(out_width) * out_height * 4);
  uint8_t* dst[4] = {plain_.data(), nullptr, nullptr, nullptr};
  const int dst_strides[4] = {out_width * 4, 0, 0, 0};
  sws_scale(scaler_, planes, strides, 0, height, dst, dst_strides);
  shown_width_ = out_width;
  shown_height_ = out_height;
  return PresentLocked();
}

int RenderPort::SetOsd(OsdStatus status) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!window_) return GL_ERR_INVALID_PORT;
  osd_ = status;
  return shown_width_ > 0 ? PresentLocked() : GL_OK;
}

int RenderPort::PresentLocked() {
  platform::Picture out;
  out.width = shown_width_;
  out.height = shown_height_;
  if (osd_ == OsdStatus::None) {
    out.bgra = plain_.data();
  } else {
    shown_ = plain_;
    DrawOsd(shown_.data(), shown_width_, shown_height_, osd_);
    out.bgra = shown_.data();
  }
  return platform::PresentPicture(window_, out) ? GL_OK : GL_ERR_INVALID_ARGUMENT;
}

void DrawOsd(uint8_t* bgra, int width, int height, OsdStatus status) {
  if (status == OsdStatus::None) return;
  const int radius = std::max(4, std::min(width, height) / 24);
  const int cx = width - 2 * radius, cy = 2 * radius;
  const uint8_t red = 255, green = status == OsdStatus::Scheduled ? 220 : 0, blue = 0;
  for (int y = std::max(0, cy - radius - 1); y <= std::min(height - 1, cy + radius + 1); ++y)
    for (int x = std::max(0, cx - radius - 1); x <= std::min(width - 1, cx + radius + 1); ++x) {
      const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      uint8_t* p = bgra + (size_t(y) * width + x) * 4;
      if (d2 <= (radius - 1) * (radius - 1)) {
        p[0] = blue;
        p[1] = green;
        p[2] = red;
        p[3] = 255;
      } else if (d2 <= (radius + 1) * (radius + 1)) {
        p[0] = p[1] = p[2] = 0;  // a dark rim keeps the dot visible on any picture
        p[3] = 255;
      }
    }
}

}  // namespace glimmet
