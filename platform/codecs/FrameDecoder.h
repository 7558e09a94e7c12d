#pragma once
// One libavcodec decoding session: compressed frames in, decoded pictures out, single
// threaded and without reordering delay, as live camera streams need. Internal to the
// system codecs. Used by one thread at a time.
//
// Steady state allocates nothing of its own per frame: the padded input buffer only grows,
// and pictures come from libavcodec's frame pool.

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform {

class FrameDecoder {
public:
    enum class Result { Picture, NoPicture, Error };

    FrameDecoder() = default;
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;
    ~FrameDecoder();

    // Opens the decoder for pictures of width x height. codecTag is the stream's FourCC;
    // codecData (may be null) is the stream's sequence header as the container carries it.
    bool Open(AVCodecID codec, int width, int height, std::uint32_t codecTag,
              const std::uint8_t* codecData, std::size_t codecDataSize);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }

    // Decodes one frame. On Result::Picture, Picture() holds it until the next Decode,
    // ReleasePicture or Close. Frames that give no picture leave no picture held.
    Result Decode(const std::uint8_t* data, std::size_t size);
    const AVFrame* Picture() const { return hasPicture_ ? picture_ : nullptr; }
    void ReleasePicture();

    // The next picture still held back for display order, as at the end of a stream;
    // NoPicture once none is left. A Decode after it starts afresh, as after Flush.
    Result Drain();

    // Forgets every reference picture, as after a seek or a break in the stream.
    void Flush();

    // The decoder's own name, e.g. "mpeg4", and its long name.
    const char* Name() const;
    const char* LongName() const;

private:
    bool FillPacket(const std::uint8_t* data, std::size_t size);

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;  // owns the padded copy of the compressed frame
    AVFrame* picture_ = nullptr;
    bool hasPicture_ = false;
    bool draining_ = false;  // the end of the stream was signalled; Decode flushes first
};

}  // namespace platform
