#include "tools/dvr_sim/Mpeg4Encoder.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace dvr_sim {

Mpeg4Encoder::Mpeg4Encoder() = default;

Mpeg4Encoder::~Mpeg4Encoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

bool Mpeg4Encoder::Open(int width, int height, int frame_rate) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!codec) {
    std::fprintf(stderr, "dvr_sim: libavcodec has no MPEG-4 encoder\n");
    return false;
  }
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) return false;
  context_->width = width;
  context_->height = height;
  context_->pix_fmt = AV_PIX_FMT_YUV420P;
  context_->time_base = AVRational{1, frame_rate};
  context_->framerate = AVRational{frame_rate, 1};
  context_->gop_size = frame_rate;
  context_->max_b_frames = 0;
  context_->bit_rate = int64_t(width) * height * 6;  // about 600 kbit/s for 352 x 288
  context_->thread_count = 1;
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    std::fprintf(stderr, "dvr_sim: MPEG-4 encoder refused %dx%d\n", width, height);
    return false;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  return av_frame_get_buffer(frame_, 0) >= 0;
}

bool Mpeg4Encoder::Encode(const YuvPicture& picture, bool force_key, EncodedFrame& out) {
  if (!context_ || picture.width != context_->width || picture.height != context_->height)
    return false;
  if (av_frame_make_writable(frame_) < 0) return false;
  const int w = picture.width, h = picture.height;
  for (int y = 0; y < h; ++y)
    std::memcpy(frame_->data[0] + y * frame_->linesize[0], &picture.y[size_t(y) * w], w);
  for (int y = 0; y < h / 2; ++y) {
    std::memcpy(frame_->data[1] + y * frame_->linesize[1], &picture.u[size_t(y) * (w / 2)], w / 2);
    std::memcpy(frame_->data[2] + y * frame_->linesize[2], &picture.v[size_t(y) * (w / 2)], w / 2);
  }
  frame_->pts = pts_++;
  frame_->pict_type = force_key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  if (avcodec_send_frame(context_, frame_) < 0) return false;
  if (avcodec_receive_packet(context_, packet_) < 0) return false;
  out.data.assign(packet_->data, packet_->data + packet_->size);
  out.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  av_packet_unref(packet_);
  return true;
}

}  // namespace dvr_sim
