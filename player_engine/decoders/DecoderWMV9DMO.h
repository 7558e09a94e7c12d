#pragma once

#include <vector>

#include "platform/codecs/MediaObject.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// Decodes "WMV3" with the Windows Media Video decoder object, tried before DecoderWMV9. The
// object's component runtime is initialised for the object's life; Open, Close and the
// destructor run on the UI thread, decoding on the playback thread.
class DecoderWMV9DMO final : public VideoDecoder {
public:
    DecoderWMV9DMO();
    ~DecoderWMV9DMO() override;

    const char* DisplayName() const override { return "DecoderWMV9DMO"; }
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override { return static_cast<uint32_t>(width_) * height_ * 2u; }
    int PreferredFormat() const override { return object_ != nullptr ? kPictureFormatYuy2 : kPictureFormatNone; }

protected:
    DecompressResult Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                uint8_t* picture) override;
    void OnFault(uint32_t position) override;

private:
    bool com_initialised_ = false;
    platform::IMediaObject* object_ = nullptr;
    std::vector<uint8_t> input_format_;    // the 48-byte head and the splitter's format record
    std::vector<uint8_t> output_format_;   // a video-information header for YUY2
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pellix
