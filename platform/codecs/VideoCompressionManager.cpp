// The video-compression manager over libavcodec: one VideoCompressor per HIC.

#include "platform/codecs/Vfw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/codecs/CodecFourCC.h"
#include "platform/codecs/FrameDecoder.h"
#include "platform/codecs/PictureWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform {

struct VideoCompressor {
    DWORD fccHandler = 0;  // in capitals
    AVCodecID codec = AV_CODEC_ID_NONE;
    bool begun = false;
    BITMAPINFOHEADER input{};
    BITMAPINFOHEADER output{};
    FrameDecoder decoder;
    PictureWriter writer;
};

namespace {

// The bytes that follow the 40-byte header inside biSize are the stream's codec data.
// Headers built for formats that have none may still carry a few cleared bytes there;
// those are no codec data.
std::size_t CodecDataSize(const BITMAPINFOHEADER& header)
{
    if (header.biSize <= sizeof(BITMAPINFOHEADER) || header.biSize > 4096)
        return 0;
    const std::size_t size = header.biSize - sizeof(BITMAPINFOHEADER);
    const auto* data = reinterpret_cast<const std::uint8_t*>(&header + 1);
    const bool allZero = std::all_of(data, data + size, [](std::uint8_t b) { return b == 0; });
    return allZero ? 0 : size;
}

LRESULT Query(const VideoCompressor& compressor, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out)
{
    if (in == nullptr)
        return ICERR_BADPARAM;
    if (DecoderForFourCC(in->biCompression) != compressor.codec)
        return ICERR_BADFORMAT;
    if (in->biWidth <= 0 || in->biHeight == 0 || in->biWidth > 16384 || in->biHeight > 16384 ||
        in->biHeight < -16384)
        return ICERR_BADFORMAT;
    if (out == nullptr)
        return ICERR_OK;
    if (LayoutOfHeader(*out) == PictureLayout::None)
        return ICERR_BADFORMAT;
    const int inHeight = in->biHeight < 0 ? -in->biHeight : in->biHeight;
    const int outHeight = out->biHeight < 0 ? -out->biHeight : out->biHeight;
    if (out->biWidth != in->biWidth || outHeight != inHeight)
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT End(VideoCompressor& compressor)
{
    compressor.decoder.Close();
    compressor.begun = false;
    return ICERR_OK;
}

LRESULT Begin(VideoCompressor& compressor, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out)
{
    const LRESULT query = Query(compressor, in, out);
    if (query != ICERR_OK)
        return query;
    if (out == nullptr)
        return ICERR_BADPARAM;
    End(compressor);
    const int height = in->biHeight < 0 ? -in->biHeight : in->biHeight;
    const std::size_t codecDataSize = CodecDataSize(*in);
    const auto* codecData = codecDataSize > 0 ? reinterpret_cast<const std::uint8_t*>(in + 1) : nullptr;
    if (!compressor.decoder.Open(compressor.codec, in->biWidth, height, UpperFourCC(in->biCompression),
                                 codecData, codecDataSize))
        return ICERR_INTERNAL;
    compressor.input = *in;
    compressor.output = *out;
    compressor.begun = true;
    return ICERR_OK;
}

LRESULT GetFormat(const VideoCompressor& compressor, const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out)
{
    if (out == nullptr)
        return static_cast<LRESULT>(sizeof(BITMAPINFOHEADER));
    const LRESULT query = Query(compressor, in, nullptr);
    if (query != ICERR_OK)
        return query;
    *out = BITMAPINFOHEADER{};
    out->biSize = sizeof(BITMAPINFOHEADER);
    out->biWidth = in->biWidth;
    out->biHeight = in->biHeight < 0 ? -in->biHeight : in->biHeight;
    out->biPlanes = 1;
    out->biBitCount = 12;
    out->biCompression = MakeFourCC('Y', 'V', '1', '2');
    out->biSizeImage = static_cast<DWORD>(PictureBytes(PictureLayout::YV12, out->biWidth, out->biHeight));
    return ICERR_OK;
}

void CopyText(char* destination, std::size_t capacity, const char* text)
{
    std::size_t length = std::min(std::strlen(text), capacity - 1);
    std::memcpy(destination, text, length);
    destination[length] = '\0';
}

}  // namespace

HIC ICOpen(DWORD fccType, DWORD fccHandler, unsigned mode)
{
    if (UpperFourCC(fccType) != UpperFourCC(ICTYPE_VIDEO))
        return nullptr;
    if (mode != ICMODE_DECOMPRESS && mode != ICMODE_FASTDECOMPRESS && mode != ICMODE_QUERY)
        return nullptr;
    const AVCodecID codec = DecoderForFourCC(fccHandler);
    if (codec == AV_CODEC_ID_NONE)
        return nullptr;
    auto* compressor = new (std::nothrow) VideoCompressor;
    if (compressor == nullptr)
        return nullptr;
    compressor->fccHandler = UpperFourCC(fccHandler);
    compressor->codec = codec;
    return compressor;
}

LRESULT ICClose(HIC hic)
{
    if (hic == nullptr)
        return ICERR_BADHANDLE;
    End(*hic);
    delete hic;
    return ICERR_OK;
}

LRESULT ICSendMessage(HIC hic, unsigned message, std::uintptr_t dw1, std::uintptr_t dw2)
{
    if (hic == nullptr)
        return ICERR_BADHANDLE;
    const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(dw1);
    switch (message) {
    case ICM_DECOMPRESS_QUERY:
        return Query(*hic, in, reinterpret_cast<const BITMAPINFOHEADER*>(dw2));
    case ICM_DECOMPRESS_BEGIN:
        return Begin(*hic, in, reinterpret_cast<const BITMAPINFOHEADER*>(dw2));
    case ICM_DECOMPRESS_END:
        return End(*hic);
    case ICM_DECOMPRESS_GET_FORMAT:
        return GetFormat(*hic, in, reinterpret_cast<BITMAPINFOHEADER*>(dw2));
    case ICM_GETINFO:
        return ICGetInfo(hic, reinterpret_cast<ICINFO*>(dw1), static_cast<DWORD>(dw2));
    default:
        return ICERR_UNSUPPORTED;
    }
}

LRESULT ICDecompress(HIC hic, DWORD flags, const BITMAPINFOHEADER* lpbiInput, const void* lpData,
                     const BITMAPINFOHEADER* lpbiOutput, void* lpOutput)
{
    if (hic == nullptr)
        return ICERR_BADHANDLE;
    if (!hic->begun)
        return ICERR_ERROR;
    if (lpbiInput == nullptr || lpbiOutput == nullptr || lpOutput == nullptr)
        return ICERR_BADPARAM;
    const bool drain = (flags & ICDECOMPRESS_DRAIN) != 0;
    if (!drain && ((flags & ICDECOMPRESS_NULLFRAME) != 0 || lpbiInput->biSizeImage == 0))
        return ICERR_DONTDRAW;
    if (!drain && lpData == nullptr)
        return ICERR_BADPARAM;
    const PictureLayout layout = LayoutOfHeader(*lpbiOutput);
    if (layout == PictureLayout::None)
        return ICERR_BADFORMAT;
    const int height = lpbiOutput->biHeight < 0 ? -lpbiOutput->biHeight : lpbiOutput->biHeight;
    if (PictureBytes(layout, lpbiOutput->biWidth, height) == 0)
        return ICERR_BADFORMAT;

    const FrameDecoder::Result decoded =
        drain ? hic->decoder.Drain()
              : hic->decoder.Decode(static_cast<const std::uint8_t*>(lpData), lpbiInput->biSizeImage);
    switch (decoded) {
    case FrameDecoder::Result::Error:
        return ICERR_ERROR;
    case FrameDecoder::Result::NoPicture:
        return ICERR_DONTDRAW;
    case FrameDecoder::Result::Picture:
        break;
    }
    const bool written = hic->writer.Write(*hic->decoder.Picture(), layout, lpbiOutput->biWidth, height,
                                           lpbiOutput->biHeight > 0, static_cast<std::uint8_t*>(lpOutput));
    hic->decoder.ReleasePicture();
    return written ? ICERR_OK : ICERR_INTERNAL;
}

LRESULT ICGetInfo(HIC hic, ICINFO* icinfo, DWORD cb)
{
    if (hic == nullptr || icinfo == nullptr || cb < sizeof(ICINFO))
        return 0;
    *icinfo = ICINFO{};
    icinfo->dwSize = sizeof(ICINFO);
    icinfo->fccType = ICTYPE_VIDEO;
    icinfo->fccHandler = hic->fccHandler;
    icinfo->dwVersionICM = 0x0104;
    const AVCodec* codec = avcodec_find_decoder(hic->codec);
    CopyText(icinfo->szName, sizeof icinfo->szName, codec != nullptr ? codec->name : "");
    CopyText(icinfo->szDescription, sizeof icinfo->szDescription,
             codec != nullptr && codec->long_name != nullptr ? codec->long_name : "");
    CopyText(icinfo->szDriver, sizeof icinfo->szDriver, "libavcodec");
    return static_cast<LRESULT>(sizeof(ICINFO));
}

}  // namespace platform
