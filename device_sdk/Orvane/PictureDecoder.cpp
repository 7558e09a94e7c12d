#include "device_sdk/Orvane/PictureDecoder.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace orvane {

PictureDecoder::PictureDecoder() = default;

PictureDecoder::~PictureDecoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

bool PictureDecoder::Open() {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  if (!codec) return false;
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) return false;
  // Each channel decodes on its own thread already.
  context_->thread_count = 1;
  return avcodec_open2(context_, codec, nullptr) == 0;
}

void PictureDecoder::Reset() {
  have_key_ = false;
  if (context_) avcodec_flush_buffers(context_);
}

bool PictureDecoder::Decode(const uint8_t* data, size_t size, bool key,
                            std::vector<uint8_t>& picture, int& width, int& height) {
  if (!context_ && !Open()) {
    if (failures_++ == 0) std::fprintf(stderr, "[ORVANE] no MPEG-4 decoder in libavcodec\n");
    return false;
  }
  if (!key && !have_key_) return false;
  if (key) have_key_ = true;
  packet_->data = const_cast<uint8_t*>(data);
  packet_->size = int(size);
  int sent = avcodec_send_packet(context_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  if (sent < 0 || avcodec_receive_frame(context_, frame_) < 0) {
    // A damaged picture spoils its successors: wait for the next key frame.
    if (failures_++ % 100 == 0) std::fprintf(stderr, "[ORVANE] picture could not be decoded\n");
    Reset();
    return false;
  }
  if (frame_->format != AV_PIX_FMT_YUV420P && frame_->format != AV_PIX_FMT_YUVJ420P) {
    av_frame_unref(frame_);
    return false;
  }
  const int w = frame_->width & ~1, h = frame_->height & ~1;
  const size_t luma = size_t(w) * h, chroma = luma / 4;
  if (picture.size() != luma + 2 * chroma) picture.resize(luma + 2 * chroma);
  uint8_t* y = picture.data();
  uint8_t* v = y + luma;
  uint8_t* u = v + chroma;
  for (int row = 0; row < h; ++row)
    std::memcpy(y + size_t(row) * w, frame_->data[0] + row * frame_->linesize[0], size_t(w));
  for (int row = 0; row < h / 2; ++row) {
    std::memcpy(u + size_t(row) * (w / 2), frame_->data[1] + row * frame_->linesize[1], size_t(w / 2));
    std::memcpy(v + size_t(row) * (w / 2), frame_->data[2] + row * frame_->linesize[2], size_t(w / 2));
  }
  av_frame_unref(frame_);
  width = w;
  height = h;
  return true;
}

void DeliverPicture(ORVANE_DATA_CB callback, void* context, int channel,
                    std::vector<uint8_t>& picture, int width, int height, uint32_t stamp_ms,
                    int frame_rate, unsigned frame_number) {
  ORVANE_FRAME frame{};
  frame.channel = channel;
  frame.data = picture.data();
  frame.size = int(picture.size());
  frame.type = ORVANE_FRAME_VIDEO;
  frame.stampMs = stamp_ms;
  frame.width = uint16_t(width);
  frame.height = uint16_t(height);
  frame.rate = uint32_t(frame_rate);
  frame.frameNumber = frame_number;
  callback(&frame, context);
}

}  // namespace orvane
