#pragma once

// MPEG-4 part 2 pictures from the recorder decoded into one contiguous planar 4:2:0 buffer in
// the SDK's picture layout (Y, then V, then U), reused from picture to picture.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device_sdk/Orvane/Orvane.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orvane {

class PictureDecoder {
 public:
  PictureDecoder();
  ~PictureDecoder();
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;

  // Decodes one compressed picture. Until the first key frame (and again after Reset) other
  // pictures are skipped, since they cannot be decoded without it. True when a picture was
  // produced into `picture` (resized to width * height * 3 / 2 when the size changes).
  bool Decode(const uint8_t* data, size_t size, bool key, std::vector<uint8_t>& picture,
              int& width, int& height);

  // Forgets the stream: the next picture decoded is the next key frame.
  void Reset();

 private:
  bool Open();

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool have_key_ = false;
  unsigned failures_ = 0;
};

// Hands a decoded picture to the application's data callback as one ORVANE_FRAME_VIDEO record
// on the calling thread; the callback may not keep `picture`. `frame_number` counts the records
// delivered on the channel (the play index for file playback).
void DeliverPicture(ORVANE_DATA_CB callback, void* context, int channel,
                    std::vector<uint8_t>& picture, int width, int height, uint32_t stamp_ms,
                    int frame_rate, unsigned frame_number);

}  // namespace orvane
