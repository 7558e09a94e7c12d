#pragma once

#include <memory>
#include <vector>

#include "platform/codecs/CodecModule.h"
#include "common/LumaDeblock.h"
#include "common/XvidAvDecode.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// Decodes "XVID" streams (any letter case) with the XviD library, loaded at open from the
// program folder or by its plain name, into YUY2 pictures. The library is bound by name; a
// missing library or function is reported in a message box and fails the open. Streams of
// even width whose sequence header libavcodec decodes to the same pictures go through
// libavcodec instead, at a fraction of the cost.
class VideoDecoderXviD final : public VideoDecoder {
public:
    VideoDecoderXviD() = default;
    ~VideoDecoderXviD() override;

    const char* DisplayName() const override { return "VideoDecoderXviD"; }
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override { return static_cast<uint32_t>(width_) * height_ * 2u; }
    int PreferredFormat() const override { return format_code_; }
    bool SetOutputFormat(int code) override;

protected:
    DecompressResult Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                uint8_t* picture) override;

private:
    using XvidFunction = int (*)(void* handle, int operation, void* parameter1, void* parameter2);

    platform::HMODULE module_ = nullptr;
    XvidFunction global_ = nullptr;
    XvidFunction decore_ = nullptr;
    void* instance_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stream_width_ = 0;    // the size the stream's last sequence header declared
    int stream_height_ = 0;
    bool interlaced_ = false;   // as the stream's last sequence header declared
    int format_code_ = kPictureFormatNone;
    // Rows the library lays out wider than the picture (odd widths) are decoded here first.
    int stride_ = 0;
    std::vector<uint8_t> scratch_;
    // Filters and packs the pictures of progressive streams of even width.
    suite::LumaDeblock deblock_;
    // Chosen by the stream's last sequence header; until one arrives, the XviD library.
    XvidAvDecode av_decode_;
    bool use_av_ = false;
    bool av_fits_ = false;  // the stream's pictures are the ring's size
    int time_increment_bits_ = 1;
};

}  // namespace pellix
