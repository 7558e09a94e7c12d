#include "tools/alder_sim/Mpeg4Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

namespace alder {

Mpeg4Encoder::~Mpeg4Encoder()
{
    Close();
}

void Mpeg4Encoder::Close()
{
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

bool Mpeg4Encoder::Open(int width, int height, int frameRate, std::string* error)
{
    Close();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) {
        *error = "libavcodec has no MPEG-4 encoder";
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->time_base = AVRational{1, frameRate};
    context_->framerate = AVRational{frameRate, 1};
    context_->gop_size = frameRate;
    context_->max_b_frames = 0;
    context_->bit_rate = static_cast<int64_t>(width) * height * 3;
    context_->thread_count = 1;
    context_->codec_tag = MKTAG('X', 'V', 'I', 'D');
    int rc = avcodec_open2(context_, codec, nullptr);
    if (rc < 0) {
        char text[128];
        av_strerror(rc, text, sizeof(text));
        *error = std::string("cannot open the MPEG-4 encoder: ") + text;
        return false;
    }
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;
    if (av_frame_get_buffer(frame_, 0) < 0) {
        *error = "cannot allocate a picture";
        return false;
    }
    width_ = width;
    height_ = height;
    nextPts_ = 0;
    return true;
}

bool Mpeg4Encoder::Encode(bool forceKey, std::vector<uint8_t>& out, bool& keyFrame)
{
    out.clear();
    keyFrame = false;
    if (!context_)
        return false;
    frame_->pts = nextPts_++;
    frame_->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(context_, frame_) < 0)
        return false;
    while (avcodec_receive_packet(context_, packet_) == 0) {
        out.insert(out.end(), packet_->data, packet_->data + packet_->size);
        keyFrame = keyFrame || (packet_->flags & AV_PKT_FLAG_KEY);
        av_packet_unref(packet_);
    }
    // The encoder may keep writing into the picture it holds; give the painter a fresh one.
    if (av_frame_make_writable(frame_) < 0)
        return false;
    return !out.empty();
}

}  // namespace alder
