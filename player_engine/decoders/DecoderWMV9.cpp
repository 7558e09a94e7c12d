#include "player_engine/decoders/DecoderWMV9.h"

#include <cstring>

#include "common/TraceMessage.h"
#include "player_engine/decoders/VfwDecoder.h"

namespace pellix {

namespace {
void TraceHeader(const char* text, const platform::BITMAPINFOHEADER& h) {
    TraceMessage(text, static_cast<int>(h.biSize), static_cast<int>(h.biWidth), static_cast<int>(h.biHeight),
                 static_cast<int>(h.biPlanes), static_cast<int>(h.biBitCount),
                 reinterpret_cast<const char*>(&h.biCompression), static_cast<unsigned long>(h.biSizeImage));
}
}  // namespace

DecoderWMV9::~DecoderWMV9() { Close(); }

bool DecoderWMV9::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& format = splitter->VideoFormat();
    if (format.size() < sizeof(platform::BITMAPINFOHEADER)) return false;
    platform::BITMAPINFOHEADER head{};
    std::memcpy(&head, format.data(), sizeof head);
    // As long as its size field says, but never past the record the splitter holds.
    size_t bytes = head.biSize;
    if (bytes < sizeof head || bytes > format.size()) bytes = sizeof head;
    input_.assign((bytes + 3) / 4, 0);
    std::memcpy(input_.data(), format.data(), bytes);
    Input()->biSize = static_cast<platform::DWORD>(bytes);
    TraceHeader("Bitbmp header_In: %d, %d, %d, %d, %d, %.4s, %lu\n", *Input());
    codec_ = platform::ICOpen(platform::ICTYPE_VIDEO, platform::MakeFourCC('W', 'M', 'V', '3'),
                              platform::ICMODE_DECOMPRESS);
    if (codec_ == nullptr) return false;
    const int height = head.biHeight < 0 ? -head.biHeight : head.biHeight;
    output_ = platform::BITMAPINFOHEADER{};
    output_.biSize = sizeof output_;
    output_.biWidth = head.biWidth;
    output_.biHeight = height;
    output_.biPlanes = 1;
    output_.biBitCount = 16;
    output_.biCompression = platform::MakeFourCC('Y', 'U', 'Y', '2');
    output_.biSizeImage = static_cast<platform::DWORD>(head.biWidth > 0 ? head.biWidth * height * 2 : 0);
    TraceHeader("Bitbmp header_Out: %d, %d, %d, %d, %d, %.4s, %lu\n", output_);
    if (platform::ICDecompressQuery(codec_, Input(), &output_) != platform::ICERR_OK ||
        platform::ICDecompressBegin(codec_, Input(), &output_) != platform::ICERR_OK) {
        Close();
        return false;
    }
    splitter_ = splitter;
    return true;
}

void DecoderWMV9::Close() {
    if (codec_ != nullptr) {
        platform::ICDecompressEnd(codec_);
        platform::ICClose(codec_);
        codec_ = nullptr;
    }
    output_ = platform::BITMAPINFOHEADER{};
    input_.clear();
    splitter_ = nullptr;
}

DecompressResult DecoderWMV9::Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                         uint8_t* picture) {
    (void)key_frame;
    if (codec_ == nullptr) return DecompressResult::NoPicture;
    platform::LRESULT result = 0;
    const platform::DWORD flags = walking_back ? platform::ICDECOMPRESS_NOTKEYFRAME : platform::ICDECOMPRESS_HURRYUP;
    const DecompressResult outcome = GuardedDecompress(codec_, flags, *Input(), data, size, output_, picture, &result);
    if (!walking_back) TraceMessage("ICDecompress Ret: %d, Size: %d", static_cast<int>(result), static_cast<int>(size));
    return outcome;
}

void DecoderWMV9::OnFault(uint32_t position) {
    TraceMessage("Error in Decompress: Pos: %d", static_cast<int>(position));
}

}  // namespace pellix
