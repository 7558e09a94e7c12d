#include "platform/codecs/CodecFourCC.h"

#include "platform/codecs/Vfw.h"

namespace platform {

namespace {

struct FourCCDecoder {
    std::uint32_t fourcc;
    AVCodecID codec;
};

// The compressed formats recorders and recordings carry. Several FourCCs of the MPEG-4
// family name the same bitstream and therefore the same decoder.
constexpr FourCCDecoder kDecoders[] = {
    {MakeFourCC('X', 'V', 'I', 'D'), AV_CODEC_ID_MPEG4},
    {MakeFourCC('D', 'I', 'V', 'X'), AV_CODEC_ID_MPEG4},
    {MakeFourCC('D', 'X', '5', '0'), AV_CODEC_ID_MPEG4},
    {MakeFourCC('F', 'M', 'P', '4'), AV_CODEC_ID_MPEG4},
    {MakeFourCC('M', 'P', '4', 'V'), AV_CODEC_ID_MPEG4},
    {MakeFourCC('M', 'P', 'G', '4'), AV_CODEC_ID_MSMPEG4V1},
    {MakeFourCC('M', 'P', '4', '1'), AV_CODEC_ID_MSMPEG4V1},
    {MakeFourCC('M', 'P', '4', '2'), AV_CODEC_ID_MSMPEG4V2},
    {MakeFourCC('D', 'I', 'V', '2'), AV_CODEC_ID_MSMPEG4V2},
    {MakeFourCC('M', 'P', '4', '3'), AV_CODEC_ID_MSMPEG4V3},
    {MakeFourCC('D', 'I', 'V', '3'), AV_CODEC_ID_MSMPEG4V3},
    {MakeFourCC('D', 'I', 'V', '4'), AV_CODEC_ID_MSMPEG4V3},
    {MakeFourCC('W', 'M', 'V', '1'), AV_CODEC_ID_WMV1},
    {MakeFourCC('W', 'M', 'V', '2'), AV_CODEC_ID_WMV2},
    {MakeFourCC('W', 'M', 'V', '3'), AV_CODEC_ID_WMV3},
    {MakeFourCC('W', 'V', 'C', '1'), AV_CODEC_ID_VC1},
    // Network cameras: H.264 and H.265 as Annex B access units, Motion JPEG as whole pictures.
    {MakeFourCC('H', '2', '6', '4'), AV_CODEC_ID_H264},
    {MakeFourCC('X', '2', '6', '4'), AV_CODEC_ID_H264},
    {MakeFourCC('A', 'V', 'C', '1'), AV_CODEC_ID_H264},
    {MakeFourCC('H', 'E', 'V', 'C'), AV_CODEC_ID_HEVC},
    {MakeFourCC('H', '2', '6', '5'), AV_CODEC_ID_HEVC},
    {MakeFourCC('H', 'E', 'V', '1'), AV_CODEC_ID_HEVC},
    {MakeFourCC('H', 'V', 'C', '1'), AV_CODEC_ID_HEVC},
    {MakeFourCC('M', 'J', 'P', 'G'), AV_CODEC_ID_MJPEG},
};

}  // namespace

std::uint32_t UpperFourCC(std::uint32_t fourcc)
{
    std::uint32_t upper = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t c = (fourcc >> shift) & 0xFFu;
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        upper |= c << shift;
    }
    return upper;
}

AVCodecID DecoderForFourCC(std::uint32_t fourcc)
{
    const std::uint32_t upper = UpperFourCC(fourcc);
    for (const FourCCDecoder& entry : kDecoders) {
        if (entry.fourcc == upper)
            return entry.codec;
    }
    return AV_CODEC_ID_NONE;
}

}  // namespace platform
