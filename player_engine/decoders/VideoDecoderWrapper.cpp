#include "player_engine/decoders/VideoDecoderWrapper.h"

#include <cctype>

#include "player_engine/decoders/DecoderWMV9.h"
#include "player_engine/decoders/DecoderWMV9DMO.h"
#include "player_engine/decoders/VfwDecoder.h"
#include "player_engine/decoders/VideoDecoderXviD.h"

namespace pellix {

namespace {

// One decoder and the FourCCs it is chosen for (null: any FourCC).
struct VideoDecoderDesc {
    const char* name;
    const char* fourcc;
    std::unique_ptr<VideoDecoder> (*make)();
    bool next_on_failure;   // a failed open tries the next decoder for the same FourCC
};

// The decoders in the order they are tried; the first whose FourCC matches (without regard
// to case) is opened, and a decoder that fails to open fails the wrapper unless it is marked
// to fall through to the next one.
const VideoDecoderDesc kVideoDecoderList[] = {
    {"VideoDecoderXviD", "XVID",
     []() -> std::unique_ptr<VideoDecoder> { return std::make_unique<VideoDecoderXviD>(); }, false},
    {"DecoderWMV9DMO", "WMV3",
     []() -> std::unique_ptr<VideoDecoder> { return std::make_unique<DecoderWMV9DMO>(); }, true},
    {"DecoderWMV9", "WMV3",
     []() -> std::unique_ptr<VideoDecoder> { return std::make_unique<DecoderWMV9>(); }, false},
    {"Video For Windows Decoder", nullptr,
     []() -> std::unique_ptr<VideoDecoder> { return std::make_unique<VfwDecoder>(); }, false},
};

bool FourCCMatches(uint32_t fourcc, const char* text) {
    if (text == nullptr) return true;
    for (int i = 0; i < 4; ++i) {
        const int c = static_cast<int>((fourcc >> (8 * i)) & 0xFF);
        if (std::toupper(c) != std::toupper(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

}  // namespace

const char* VideoDecoderWrapper::DisplayName() const {
    return active_ ? active_->DisplayName() : "Video Decoder Wrapper";
}

bool VideoDecoderWrapper::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const uint32_t fourcc = splitter->VideoFourCC();
    for (const VideoDecoderDesc& desc : kVideoDecoderList) {
        if (!FourCCMatches(fourcc, desc.fourcc)) continue;
        std::unique_ptr<VideoDecoder> decoder = desc.make();
        if (!decoder->Open(splitter)) {
            if (desc.next_on_failure) continue;
            return false;
        }
        decoder->StoreVerify(verify_);
        active_ = std::move(decoder);
        return true;
    }
    return false;
}

void VideoDecoderWrapper::Close() {
    if (active_) active_->Close();
    active_.reset();
}

bool VideoDecoderWrapper::StoreVerify(const VerifySettings& settings) {
    verify_ = settings;
    return active_ ? active_->StoreVerify(settings) : true;
}

}  // namespace pellix
