#pragma once

#include <string>

#include "platform/codecs/Vfw.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// A decoder of the system's video-compression manager, for any FourCC it serves. Opening
// asks the codec for its output format and begins decompression, so a format the codec
// refuses fails the port's open. UI thread for Open/Close; the playback thread decodes.
class VfwDecoder final : public VideoDecoder {
public:
    ~VfwDecoder() override;

    const char* DisplayName() const override { return name_.c_str(); }
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override;
    int PreferredFormat() const override { return preferred_format_; }
    int FlipFlag() const override { return 1; }

private:
    std::string name_ = "Video For Windows Decoder";
    Demuxer* splitter_ = nullptr;   // not owned
    platform::HIC codec_ = nullptr;
    platform::BITMAPINFOHEADER input_{};
    platform::BITMAPINFOHEADER output_{};
    int preferred_format_ = kPictureFormatNone;
};

}  // namespace pellix
