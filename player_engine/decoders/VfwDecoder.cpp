#include "player_engine/decoders/VfwDecoder.h"

#include <cstring>
#include <vector>

#include "common/TraceMessage.h"
#include "platform/codecs/GuardedCall.h"

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
    // Only the 40-byte head was copied: a size that also counts codec data would have the
    // codec read past it.
    input_.biSize = sizeof input_;
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
    if (platform::ICGetInfo(codec_, &info, sizeof info) > 0) {
        if (info.szDescription[0] != '\0')
            name_.assign(info.szDescription, strnlen(info.szDescription, sizeof info.szDescription));
        reorders_ = std::strcmp(info.szName, "h264") == 0 || std::strcmp(info.szName, "hevc") == 0;
        // Cameras send Motion JPEG in 4:2:2 as often as not; packed 4:2:2 keeps its every
        // chroma row.
        planar_ = std::strcmp(info.szName, "mjpeg") != 0;
    }
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
    reorders_ = false;
    planar_ = false;
    preferred_format_ = kPictureFormatNone;
    layout_ = PictureLayout::Yuy2;
    name_ = "Video For Windows Decoder";
}

uint32_t VfwDecoder::OutputSize() const {
    if (codec_ == nullptr) return 0;
    const int64_t width = input_.biWidth;
    const int64_t height = input_.biHeight < 0 ? -static_cast<int64_t>(input_.biHeight) : input_.biHeight;
    if (layout_ == PictureLayout::I420) return static_cast<uint32_t>(width * height * 3 / 2);
    return static_cast<uint32_t>(width * height * 2);
}

}  // namespace pellix

namespace pellix {

namespace {
struct DecompressCall {
    platform::HIC codec;
    platform::DWORD flags;
    platform::BITMAPINFOHEADER* input;
    const uint8_t* data;
    const platform::BITMAPINFOHEADER* output;
    uint8_t* picture;
    platform::LRESULT result;
};
void RunDecompress(void* context) {
    auto* call = static_cast<DecompressCall*>(context);
    call->result = platform::ICDecompress(call->codec, call->flags, call->input, call->data, call->output, call->picture);
}
}  // namespace

DecompressResult GuardedDecompress(platform::HIC codec, platform::DWORD flags, platform::BITMAPINFOHEADER& input,
                                   const uint8_t* data, uint32_t size, const platform::BITMAPINFOHEADER& output,
                                   uint8_t* picture, platform::LRESULT* result) {
    input.biSizeImage = size;
    DecompressCall call{codec, flags, &input, data, &output, picture, platform::ICERR_ERROR};
    if (!platform::RunGuarded(RunDecompress, &call)) return DecompressResult::Fault;
    if (result != nullptr) *result = call.result;
    return call.result == platform::ICERR_OK ? DecompressResult::Picture : DecompressResult::NoPicture;
}

bool VfwDecoder::SetOutputFormat(int code) {
    (void)code;
    if (codec_ == nullptr) return false;
    platform::ICDecompressEnd(codec_);
    const int64_t height = input_.biHeight < 0 ? -static_cast<int64_t>(input_.biHeight) : input_.biHeight;
    const bool planar = planar_ && input_.biWidth % 2 == 0 && height % 2 == 0;
    for (const PictureLayout layout : {PictureLayout::I420, PictureLayout::Yuy2}) {
        if (layout == PictureLayout::I420 && !planar) continue;
        layout_ = layout;
        output_ = input_;
        output_.biSize = sizeof output_;
        output_.biHeight = static_cast<int32_t>(height);
        output_.biBitCount = layout == PictureLayout::I420 ? 12 : 16;
        output_.biCompression = layout == PictureLayout::I420 ? platform::MakeFourCC('I', '4', '2', '0')
                                                              : platform::MakeFourCC('Y', 'U', 'Y', '2');
        output_.biSizeImage = OutputSize();
        if (platform::ICDecompressQuery(codec_, &input_, &output_) == platform::ICERR_OK &&
            platform::ICDecompressBegin(codec_, &input_, &output_) == platform::ICERR_OK) {
            preferred_format_ = kPictureFormatYuy2;
            return true;
        }
    }
    layout_ = PictureLayout::Yuy2;
    return false;
}

DecompressResult VfwDecoder::Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                        uint8_t* picture) {
    (void)key_frame;
    if (codec_ == nullptr) return DecompressResult::NoPicture;
    const platform::DWORD flags = walking_back ? platform::ICDECOMPRESS_NOTKEYFRAME : 0;
    return GuardedDecompress(codec_, flags, input_, data, size, output_, picture, nullptr);
}

void VfwDecoder::OnFault(uint32_t position) {
    TraceMessage("Error in Decompress: Pos: %d", static_cast<int>(position));
}

}  // namespace pellix

namespace pellix {

DecompressResult VfwDecoder::DrainPicture(uint8_t* picture) {
    if (codec_ == nullptr) return DecompressResult::NoPicture;
    return GuardedDecompress(codec_, platform::ICDECOMPRESS_DRAIN, input_, nullptr, 0, output_, picture, nullptr);
}

void VfwDecoder::Restart() {
    // Beginning again opens the codec afresh: no reference and no held picture is left.
    if (codec_ != nullptr && platform::ICDecompressBegin(codec_, &input_, &output_) != platform::ICERR_OK)
        TraceMessage("Error in Decompress restart");
}

}  // namespace pellix
