#pragma once

#include <memory>

#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// The port's video decoder: chooses a decoder for the splitter's FourCC and forwards to it.
// The verify-callback values it holds are handed to each decoder after it opened.
class VideoDecoderWrapper final : public VideoDecoder {
public:
    const char* DisplayName() const override;
    bool Open(Demuxer* splitter) override;
    void Close() override;
    uint32_t OutputSize() const override { return active_ ? active_->OutputSize() : 0; }
    PictureLayout OutputLayout() const override {
        return active_ ? active_->OutputLayout() : PictureLayout::Yuy2;
    }
    int PreferredFormat() const override { return active_ ? active_->PreferredFormat() : 0; }
    int FlipFlag() const override { return active_ ? active_->FlipFlag() : 0; }
    bool SetOutputFormat(int code) override { return active_ && active_->SetOutputFormat(code); }
    bool Decode(PictureEntry& entry, int direction) override { return active_ && active_->Decode(entry, direction); }
    void Repositioned() override {
        if (active_) active_->Repositioned();
    }
    bool SkipNextFrame() override { return active_ && active_->SkipNextFrame(); }
    bool StoreVerify(const VerifySettings& settings) override;

    bool IsOpen() const { return active_ != nullptr; }

protected:
    DecompressResult Decompress(const uint8_t*, uint32_t, bool, bool, uint8_t*) override {
        return DecompressResult::NoPicture;
    }

private:
    std::unique_ptr<VideoDecoder> active_;
    VerifySettings verify_;
};

}  // namespace pellix
