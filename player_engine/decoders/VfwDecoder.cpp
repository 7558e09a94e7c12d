#include "player_engine/decoders/VfwDecoder.h"

#include <cstring>
#include <vector>

#include "common/TraceMessage.h"

namespace pellix {

namespace {
void TraceHeader(const char* text, const platform::BITMAPINFOHEADER& h) {
    TraceMessage(text, static_cast<int>(h.biSize), static_cast<int>(h.biWidth), static_cast<int>(h.biHeight),
                 static_cast<int>(h.biPlanes), static_cast<int>(h.biBitCount),
                 reinterpret_cast<const char*>(&h.biCompression), static_cast<unsigned long>(h.biSizeImage));
}
bool SameFourCC(uint32_t fourcc, const char* text) {
    return std::memcmp(&fourcc, text, 4) == 0;
}
}  // namespace

VfwDecoder::~VfwDecoder() { Close(); }

bool VfwDecoder::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& format = splitter->VideoFormat();
    if (format.size() < sizeof input_) return false;
    std::memcpy(&input_, format.data(), sizeof input_);
    TraceHeader("Bitbmp header_In: %d, %d, %d, %d, %d, %.4s, %lu\n", input_);
    codec_ = platform::ICOpen(platform::ICTYPE_VIDEO, input_.biCompression, platform::ICMODE_FASTDECOMPRESS);
    if (codec_ == nullptr) return false;
    if (platform::ICDecompressGetFormat(codec_, &input_, &output_) != platform::ICERR_OK) {
        Close();
        return false;
    }
    TraceHeader("Bitbmp header_Out: %d, %d, %d, %d, %d, %.4s, %lu\n", output_);
    if (platform::ICDecompressQuery(codec_, &input_, &output_) != platform::ICERR_OK ||
        platform::ICDecompressBegin(codec_, &input_, &output_) != platform::ICERR_OK) {
        Close();
        return false;
    }
    const uint32_t fourcc = input_.biCompression;
    if (SameFourCC(fourcc, "DIV3") || SameFourCC(fourcc, "DIV4") || SameFourCC(fourcc, "divx"))
        preferred_format_ = kPictureFormatDrawDib;
    platform::ICINFO info{};
    if (platform::ICGetInfo(codec_, &info, sizeof info) > 0 && info.szDescription[0] != '\0')
        name_.assign(info.szDescription, strnlen(info.szDescription, sizeof info.szDescription));
    splitter_ = splitter;
    return true;
}

void VfwDecoder::Close() {
    if (codec_ != nullptr) {
        platform::ICDecompressEnd(codec_);
        platform::ICClose(codec_);
        codec_ = nullptr;
    }
    splitter_ = nullptr;
    preferred_format_ = kPictureFormatNone;
    name_ = "Video For Windows Decoder";
}

uint32_t VfwDecoder::OutputSize() const {
    if (codec_ == nullptr) return 0;
    const int64_t width = input_.biWidth;
    const int64_t height = input_.biHeight < 0 ? -static_cast<int64_t>(input_.biHeight) : input_.biHeight;
    return static_cast<uint32_t>(width * height * 2);
}

}  // namespace pellix
