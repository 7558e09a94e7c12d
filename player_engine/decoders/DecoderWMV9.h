#pragma once

#include <vector>

#include "platform/codecs/Vfw.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// Decodes "WMV3" through the system's video-compression manager when the media object
// cannot be used. The whole video format record, codec data included, is the input header.
class DecoderWMV9 final : public VideoDecoder {
public:
    ~DecoderWMV9() override;

    const char* DisplayName() const override { return "DecoderWMV9"; }
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override { return output_.biSizeImage; }
    int PreferredFormat() const override { return codec_ != nullptr ? kPictureFormatYuy2 : kPictureFormatNone; }

protected:
    DecompressResult Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                uint8_t* picture) override;
    void OnFault(uint32_t position) override;

private:
    platform::BITMAPINFOHEADER* Input() { return reinterpret_cast<platform::BITMAPINFOHEADER*>(input_.data()); }

    platform::HIC codec_ = nullptr;
    std::vector<uint32_t> input_;   // the format record; 32-bit units keep the header aligned
    platform::BITMAPINFOHEADER output_{};
};

}  // namespace pellix
