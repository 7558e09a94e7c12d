#include "platform/codecs/FrameDecoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

namespace platform {

FrameDecoder::~FrameDecoder()
{
    Close();
}

bool FrameDecoder::Open(AVCodecID codecId, int width, int height, std::uint32_t codecTag,
                        const std::uint8_t* codecData, std::size_t codecDataSize)
{
    Close();
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return false;
    const AVCodec* codec = avcodec_find_decoder(codecId);
    if (codec == nullptr)
        return false;
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    picture_ = av_frame_alloc();
    if (context_ == nullptr || packet_ == nullptr || picture_ == nullptr) {
        Close();
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->coded_width = width;
    context_->coded_height = height;
    context_->codec_tag = codecTag;
    // Live pictures are shown as they arrive: no frame threads, no reordering delay. A
    // camera's H.264 or H.265 may carry B-frames, which only the reordering delay puts in
    // the right order; without B-frames it adds none.
    context_->thread_count = 1;
    if (codecId != AV_CODEC_ID_H264 && codecId != AV_CODEC_ID_HEVC)
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (codecData != nullptr && codecDataSize > 0) {
        context_->extradata =
            static_cast<std::uint8_t*>(av_mallocz(codecDataSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context_->extradata == nullptr) {
            Close();
            return false;
        }
        std::memcpy(context_->extradata, codecData, codecDataSize);
        context_->extradata_size = static_cast<int>(codecDataSize);
    }
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return false;
    }
    return true;
}

void FrameDecoder::Close()
{
    hasPicture_ = false;
    draining_ = false;
    av_frame_free(&picture_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

bool FrameDecoder::FillPacket(const std::uint8_t* data, std::size_t size)
{
    // libavcodec reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past a frame's end, and the
    // caller's frame has no such padding: the frame is copied into a reference-counted buffer
    // that the packet owns and that is reused while libavcodec holds no reference to it.
    const std::size_t needed = size + AV_INPUT_BUFFER_PADDING_SIZE;
    AVBufferRef*& input = packet_->buf;
    if (input == nullptr || input->size < needed || !av_buffer_is_writable(input)) {
        av_buffer_unref(&input);
        const std::size_t capacity = needed < 65536 ? 65536 : needed + needed / 2;
        input = av_buffer_alloc(capacity);
        if (input == nullptr)
            return false;
    }
    std::memcpy(input->data, data, size);
    std::memset(input->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = input->data;
    packet_->size = static_cast<int>(size);
    return true;
}

FrameDecoder::Result FrameDecoder::Decode(const std::uint8_t* data, std::size_t size)
{
    ReleasePicture();
    if (context_ == nullptr || data == nullptr || size == 0 || size > 64u * 1024 * 1024)
        return Result::Error;
    if (draining_)
        Flush();
    if (!FillPacket(data, size))
        return Result::Error;
    int sent = avcodec_send_packet(context_, packet_);
    if (sent == AVERROR(EAGAIN)) {
        // A picture from an earlier frame is still waiting: take it first, then retry.
        if (avcodec_receive_frame(context_, picture_) >= 0)
            av_frame_unref(picture_);
        if (!FillPacket(data, size))
            return Result::Error;
        sent = avcodec_send_packet(context_, packet_);
    }
    const int received = avcodec_receive_frame(context_, picture_);
    if (received >= 0) {
        hasPicture_ = true;
        return Result::Picture;
    }
    if (sent < 0)
        return Result::Error;
    return Result::NoPicture;
}

void FrameDecoder::ReleasePicture()
{
    if (hasPicture_)
        av_frame_unref(picture_);
    hasPicture_ = false;
}

FrameDecoder::Result FrameDecoder::Drain()
{
    ReleasePicture();
    if (context_ == nullptr)
        return Result::Error;
    if (!draining_) {
        draining_ = true;
        if (avcodec_send_packet(context_, nullptr) < 0)
            return Result::NoPicture;
    }
    if (avcodec_receive_frame(context_, picture_) >= 0) {
        hasPicture_ = true;
        return Result::Picture;
    }
    return Result::NoPicture;
}

void FrameDecoder::Flush()
{
    ReleasePicture();
    draining_ = false;
    if (context_ != nullptr)
        avcodec_flush_buffers(context_);
}

const char* FrameDecoder::Name() const
{
    return context_ != nullptr && context_->codec != nullptr ? context_->codec->name : "";
}

const char* FrameDecoder::LongName() const
{
    return context_ != nullptr && context_->codec != nullptr && context_->codec->long_name
               ? context_->codec->long_name
               : "";
}

}  // namespace platform
