#pragma once

#include <string>

#include "platform/codecs/Vfw.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// A decoder of the system's video-compression manager, for any FourCC it serves. Opening
// asks the codec for its output format and begins decompression, so a format the codec
// refuses fails the port's open. UI thread for Open/Close; the playback thread decodes.
// Runs ICDecompress of `size` bytes so that a fault inside the codec comes back as Fault.
DecompressResult GuardedDecompress(platform::HIC codec, platform::DWORD flags, platform::BITMAPINFOHEADER& input,
                                   const uint8_t* data, uint32_t size, const platform::BITMAPINFOHEADER& output,
                                   uint8_t* picture, platform::LRESULT* result);

class VfwDecoder final : public VideoDecoder {
public:
    ~VfwDecoder() override;

    const char* DisplayName() const override { return name_.c_str(); }
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override;
    PictureLayout OutputLayout() const override { return layout_; }
    int PreferredFormat() const override { return preferred_format_; }
    // Ends decompression and begins it again for output of the input's size: limited-range
    // planar 4:2:0 at an even size, which the compression manager copies as it stands from a
    // codec decoding to just that (H.264, H.265, MPEG-4); YUY2 otherwise (Motion JPEG).
    bool SetOutputFormat(int code) override;
    // The compression manager writes YUV rows top-down, whatever the sign of the height.
    int FlipFlag() const override { return 0; }
    // H.264 and H.265 give their pictures in display order, some frames after reading them.
    bool ReordersPictures() const override { return reorders_; }

protected:
    DecompressResult Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                uint8_t* picture) override;
    void OnFault(uint32_t position) override;
    DecompressResult DrainPicture(uint8_t* picture) override;
    void Restart() override;

private:
    std::string name_ = "Video For Windows Decoder";
    platform::HIC codec_ = nullptr;
    platform::BITMAPINFOHEADER input_{};
    platform::BITMAPINFOHEADER output_{};
    int preferred_format_ = kPictureFormatNone;
    PictureLayout layout_ = PictureLayout::Yuy2;
    bool reorders_ = false;
    bool planar_ = false;   // the codec decodes to 4:2:0
};

}  // namespace pellix
