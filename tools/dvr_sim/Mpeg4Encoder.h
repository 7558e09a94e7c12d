#pragma once

// MPEG-4 part 2 encoder over libavcodec for the simulated cameras: 25 pictures per second,
// a key frame every second, no B-frames, the stream headers repeated in every key frame so
// that a viewer can join at any key frame.

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/dvr_sim/SyntheticCamera.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace dvr_sim {

struct EncodedFrame {
  std::vector<uint8_t> data;
  bool key = false;
};

class Mpeg4Encoder {
 public:
  Mpeg4Encoder();
  ~Mpeg4Encoder();
  Mpeg4Encoder(const Mpeg4Encoder&) = delete;
  Mpeg4Encoder& operator=(const Mpeg4Encoder&) = delete;

  // False (with a line on stderr) when libavcodec has no MPEG-4 encoder or refuses the size.
  bool Open(int width, int height, int frame_rate);

  // Encodes one picture; `force_key` makes it a key frame. The encoder has no delay, so the
  // result is the compressed picture itself; false when encoding fails.
  bool Encode(const YuvPicture& picture, bool force_key, EncodedFrame& out);

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t pts_ = 0;
};

}  // namespace dvr_sim
