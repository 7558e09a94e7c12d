#include "player_engine/decoders/VideoDecoderXviD.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include <xvid.h>

#include "common/XvidStreamHeader.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/codecs/GuardedCall.h"
#include "platform/codecs/Vfw.h"

namespace pellix {

namespace {

constexpr int kXvidVersion = 0x00010182;
constexpr const char* kLibraryName = "libxvidcore.so.4";
constexpr int kGeneralFlags = XVID_LOWDELAY | XVID_DEBLOCKY;
// The same decode with the luma deblocking left to LumaDeblock, which gives the same bytes.
constexpr int kGeneralFlagsOwnDeblock = XVID_LOWDELAY;
constexpr unsigned kCpuFlags = 0xCF;   // features detected by the library

struct DecodeCall {
    int (*decore)(void*, int, void*, void*);
    void* instance;
    xvid_dec_frame_t* frame;
    xvid_dec_stats_t* stats;
    int result;
};

void RunDecodeCall(void* context) {
    auto* call = static_cast<DecodeCall*>(context);
    call->result = call->decore(call->instance, XVID_DEC_DECODE, call->frame, call->stats);
}

bool FourCCIs(uint32_t fourcc, const char* text) {
    for (int i = 0; i < 4; ++i) {
        const int c = static_cast<int>((fourcc >> (8 * i)) & 0xFF);
        if (std::toupper(c) != text[i]) return false;
    }
    return true;
}

void ReportMissing(const char* text) {
    platform::MessageBox(nullptr, text, "Error", platform::MB_OK | platform::MB_TOPMOST);
}

}  // namespace

VideoDecoderXviD::~VideoDecoderXviD() { Close(); }

bool VideoDecoderXviD::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& format = splitter->VideoFormat();
    if (format.size() < sizeof(platform::BITMAPINFOHEADER)) return false;
    platform::BITMAPINFOHEADER header{};
    std::memcpy(&header, format.data(), sizeof header);
    if (!FourCCIs(header.biCompression, "XVID")) return false;
    const int width = header.biWidth;
    const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return false;

    // The texts name the library as the system has always named it.
    const std::string local = platform::ProgramFolderHost() + "/" + kLibraryName;
    module_ = platform::LoadCodecModule(local.c_str());
    if (module_ == nullptr) module_ = platform::LoadCodecModule(kLibraryName);
    if (module_ == nullptr) {
        ReportMissing("xvidcore.dll not found");
        return false;
    }
    global_ = reinterpret_cast<XvidFunction>(platform::GetCodecModuleFunction(module_, "xvid_global"));
    decore_ = reinterpret_cast<XvidFunction>(platform::GetCodecModuleFunction(module_, "xvid_decore"));
    if (global_ == nullptr || decore_ == nullptr) {
        ReportMissing(global_ == nullptr ? "xvid_global() not found" : "xvid_decore() not found");
        Close();
        return false;
    }
    xvid_gbl_init_t init{};
    init.version = kXvidVersion;
    init.cpu_flags = kCpuFlags;
    global_(nullptr, XVID_GBL_INIT, &init, nullptr);
    xvid_dec_create_t create{};
    create.version = kXvidVersion;
    create.width = width;
    create.height = height;
    if (decore_(nullptr, XVID_DEC_CREATE, &create, nullptr) < 0) {
        Close();
        return false;
    }
    instance_ = create.handle;
    width_ = stream_width_ = width;
    height_ = stream_height_ = height;
    stride_ = (width * 2 + 3) & ~3;
    if (stride_ != width * 2) scratch_.assign(static_cast<size_t>(stride_) * (height + 2), 0);
    splitter_ = splitter;
    return true;
}

void VideoDecoderXviD::Close() {
    if (instance_ != nullptr && decore_ != nullptr) decore_(instance_, XVID_DEC_DESTROY, nullptr, nullptr);
    instance_ = nullptr;
    global_ = decore_ = nullptr;
    if (module_ != nullptr) platform::FreeCodecModule(module_);
    module_ = nullptr;
    splitter_ = nullptr;
    width_ = height_ = 0;
    format_code_ = kPictureFormatNone;
    scratch_.clear();
    interlaced_ = false;
    deblock_ = {};
    av_decode_.Close();
    use_av_ = false;
    av_fits_ = false;
}

bool VideoDecoderXviD::SetOutputFormat(int code) {
    (void)code;
    if (instance_ == nullptr) return false;
    format_code_ = kPictureFormatYuy2;
    return true;
}

DecompressResult VideoDecoderXviD::Decompress(const uint8_t* data, uint32_t size, bool key_frame,
                                              bool walking_back, uint8_t* picture) {
    (void)key_frame;
    (void)walking_back;
    if (instance_ == nullptr || size == 0) return DecompressResult::NoPicture;
    // A sequence header chooses the decoder for the pictures that follow it; the frame that
    // carries it starts the chosen decoder afresh. YUY2 pairs two samples of a row, so
    // libavcodec's pictures are packed only at even widths.
    XvidSequenceHeader header;
    if (ReadXvidSequenceHeader(data, size, header)) {
        use_av_ = AvDecodesLikeXvid(header) && width_ % 2 == 0 &&
                  (av_decode_.IsOpen() || av_decode_.Create(width_, height_));
        time_increment_bits_ = header.timeIncrementBits;
        av_fits_ = header.width == width_ && header.height == height_;
        if (!use_av_) av_decode_.Close();
    }
    if (use_av_) {
        if (!av_fits_ || av_decode_.Decode(data, static_cast<int>(size), time_increment_bits_) !=
                             XvidAvDecode::Result::Picture)
            return DecompressResult::NoPicture;
        av_decode_.PackYuy2(picture, width_ * 2);
        return DecompressResult::Picture;
    }
    uint8_t* target = scratch_.empty() ? picture : scratch_.data();
    const uint8_t* rest = data;
    int remaining = static_cast<int>(size);
    // A frame may begin with a sequence header: the library reports the stream's size and is
    // called again for the rest. A picture is written only while that size is the ring's.
    for (int pass = 0; pass < 4 && remaining > 0; ++pass) {
        const bool fits = stream_width_ == width_ && stream_height_ == height_;
        // Odd widths are laid out wider than a YUY2 row holds: those the library packs itself.
        const bool own_deblock = fits && scratch_.empty();
        xvid_dec_frame_t frame{};
        frame.version = kXvidVersion;
        frame.general = own_deblock ? kGeneralFlagsOwnDeblock : kGeneralFlags;
        frame.bitstream = const_cast<uint8_t*>(rest);
        frame.length = remaining;
        frame.output.csp = own_deblock ? XVID_CSP_INTERNAL : fits ? XVID_CSP_YUY2 : XVID_CSP_NULL;
        frame.output.plane[0] = target;
        frame.output.stride[0] = stride_;
        xvid_dec_stats_t stats{};
        stats.version = kXvidVersion;
        DecodeCall call{decore_, instance_, &frame, &stats, 0};
        if (!platform::RunGuarded(RunDecodeCall, &call)) return DecompressResult::Fault;
        if (call.result < 0) return DecompressResult::NoPicture;
        if (stats.type == XVID_TYPE_VOL) {
            // A new size makes the library start its pictures afresh; so does the filter.
            if (stats.data.vol.width != stream_width_ || stats.data.vol.height != stream_height_) deblock_ = {};
            stream_width_ = stats.data.vol.width;
            stream_height_ = stats.data.vol.height;
            interlaced_ = (stats.data.vol.general & XVID_VOL_INTERLACING) != 0;
            if (call.result == 0) break;
            rest += call.result;
            remaining -= call.result;
            continue;
        }
        if (!fits || stats.type == XVID_TYPE_NOTHING) return DecompressResult::NoPicture;
        if (own_deblock) {
            // The planes stay the library's until the next call; the quantisers are those of
            // the picture's macroblocks, or none when the library would not have filtered.
            suite::LumaDeblock::Planes planes;
            planes.y = static_cast<const uint8_t*>(frame.output.plane[0]);
            planes.u = static_cast<const uint8_t*>(frame.output.plane[1]);
            planes.v = static_cast<const uint8_t*>(frame.output.plane[2]);
            planes.y_stride = frame.output.stride[0];
            planes.chroma_stride = frame.output.stride[1];
            if (planes.y == nullptr || planes.u == nullptr || planes.v == nullptr) return DecompressResult::NoPicture;
            deblock_.PackYuy2(planes, stats.data.vop.qscale, stats.data.vop.qscale_stride, width_, height_,
                              interlaced_, picture, width_ * 2);
            return DecompressResult::Picture;
        }
        if (!scratch_.empty()) {
            for (int row = 0; row < height_; ++row)
                std::memcpy(picture + static_cast<size_t>(row) * width_ * 2,
                            scratch_.data() + static_cast<size_t>(row) * stride_, static_cast<size_t>(width_) * 2);
        }
        return DecompressResult::Picture;
    }
    return DecompressResult::NoPicture;
}

}  // namespace pellix
