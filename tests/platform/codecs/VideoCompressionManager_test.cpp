#include "platform/codecs/Vfw.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/platform/codecs/TestMedia.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

using namespace platform;

namespace {

BITMAPINFOHEADER Header(int width, int height, DWORD compression, int bits)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bits);
    header.biCompression = compression;
    header.biSizeImage = static_cast<DWORD>(width * height * bits / 8);
    return header;
}

// Converts a YV12 reference picture to another layout with libswscale directly.
std::vector<std::uint8_t> Convert(const std::vector<std::uint8_t>& yv12, int w, int h, AVPixelFormat target,
                                  int stride, bool bottomUp)
{
    const std::uint8_t* y = yv12.data();
    const std::uint8_t* v = y + w * h;
    const std::uint8_t* u = v + (w / 2) * (h / 2);
    const std::uint8_t* source[4] = {y, u, v, nullptr};
    const int sourceStrides[4] = {w, w / 2, w / 2, 0};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * h);
    std::uint8_t* destination[4] = {out.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    if (bottomUp) {
        destination[0] = out.data() + static_cast<std::ptrdiff_t>(stride) * (h - 1);
        strides[0] = -stride;
    }
    SwsContext* scaler = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, target, SWS_BILINEAR, nullptr, nullptr, nullptr);
    sws_scale(scaler, source, sourceStrides, 0, h, destination, strides);
    sws_freeContext(scaler);
    return out;
}

}  // namespace

TEST(VideoCompressionManager, OpensByFourCCInAnyCaseAndOnlyForDecompressing)
{
    struct Case {
        const char* fourcc;
        const char* decoder;
    } cases[] = {{"XVID", "mpeg4"},     {"divx", "mpeg4"},     {"DX50", "mpeg4"},     {"FMP4", "mpeg4"},
                 {"mp4v", "mpeg4"},     {"MPG4", "msmpeg4v1"}, {"MP42", "msmpeg4v2"}, {"MP43", "msmpeg4"},
                 {"DIV3", "msmpeg4"},   {"div4", "msmpeg4"},   {"WMV3", "wmv3"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fourcc);
        HIC hic = ICOpen(ICTYPE_VIDEO, MakeFourCC(c.fourcc[0], c.fourcc[1], c.fourcc[2], c.fourcc[3]),
                         ICMODE_FASTDECOMPRESS);
        ASSERT_NE(hic, nullptr);
        ICINFO info{};
        EXPECT_EQ(ICGetInfo(hic, &info, sizeof info), static_cast<LRESULT>(sizeof info));
        EXPECT_STREQ(info.szName, c.decoder);
        EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
        EXPECT_EQ(ICClose(hic), ICERR_OK);
    }
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, MakeFourCC('A', 'V', '0', '1'), ICMODE_DECOMPRESS), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, 0, ICMODE_DECOMPRESS), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, MakeFourCC('X', 'V', 'I', 'D'), ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(ICOpen(MakeFourCC('a', 'u', 'd', 'c'), MakeFourCC('X', 'V', 'I', 'D'), ICMODE_DECOMPRESS), nullptr);
    EXPECT_EQ(ICClose(nullptr), ICERR_BADHANDLE);
}

TEST(VideoCompressionManager, QueryAndBeginRefuseWhatTheDecoderCannotWrite)
{
    HIC hic = ICOpen(ICTYPE_VIDEO, MakeFourCC('M', 'P', '4', '2'), ICMODE_DECOMPRESS);
    ASSERT_NE(hic, nullptr);
    const BITMAPINFOHEADER in = Header(352, 288, MakeFourCC('M', 'P', '4', '2'), 16);
    const BITMAPINFOHEADER yv12 = Header(352, 288, MakeFourCC('Y', 'V', '1', '2'), 12);
    EXPECT_EQ(ICDecompressQuery(hic, &in, nullptr), ICERR_OK);
    EXPECT_EQ(ICDecompressQuery(hic, &in, &yv12), ICERR_OK);
    const BITMAPINFOHEADER otherCodec = Header(352, 288, MakeFourCC('X', 'V', 'I', 'D'), 16);
    EXPECT_EQ(ICDecompressQuery(hic, &otherCodec, &yv12), ICERR_BADFORMAT);
    const BITMAPINFOHEADER smaller = Header(176, 144, MakeFourCC('Y', 'V', '1', '2'), 12);
    EXPECT_EQ(ICDecompressQuery(hic, &in, &smaller), ICERR_BADFORMAT);
    const BITMAPINFOHEADER rgb16 = Header(352, 288, BI_RGB, 16);
    EXPECT_EQ(ICDecompressBegin(hic, &in, &rgb16), ICERR_BADFORMAT);
    const BITMAPINFOHEADER huge = Header(100000, 288, MakeFourCC('M', 'P', '4', '2'), 16);
    EXPECT_EQ(ICDecompressQuery(hic, &huge, nullptr), ICERR_BADFORMAT);

    BITMAPINFOHEADER suggested{};
    EXPECT_EQ(ICDecompressGetFormat(hic, &in, nullptr), static_cast<LRESULT>(sizeof suggested));
    EXPECT_EQ(ICDecompressGetFormat(hic, &in, &suggested), ICERR_OK);
    EXPECT_EQ(suggested.biCompression, MakeFourCC('Y', 'V', '1', '2'));
    EXPECT_EQ(suggested.biSizeImage, 352u * 288 * 3 / 2);

    // Decompressing before a begin, and after an end, is refused without touching the output.
    std::vector<std::uint8_t> out(352 * 288 * 3 / 2, 0x33);
    const std::uint8_t data[16] = {};
    BITMAPINFOHEADER sized = in;
    sized.biSizeImage = sizeof data;
    EXPECT_EQ(ICDecompress(hic, 0, &sized, data, &yv12, out.data()), ICERR_ERROR);
    ASSERT_EQ(ICDecompressBegin(hic, &in, &yv12), ICERR_OK);
    EXPECT_EQ(ICDecompress(hic, ICDECOMPRESS_NULLFRAME, &sized, data, &yv12, out.data()), ICERR_DONTDRAW);
    EXPECT_EQ(ICDecompressEnd(hic), ICERR_OK);
    EXPECT_EQ(ICDecompress(hic, 0, &sized, data, &yv12, out.data()), ICERR_ERROR);
    EXPECT_EQ(out[0], 0x33);
    EXPECT_EQ(ICSendMessage(hic, 0x4321, 0, 0), ICERR_UNSUPPORTED);
    ICClose(hic);
}

TEST(VideoCompressionManager, DecodesMicrosoftMpeg4InEveryOutputLayout)
{
    const int w = 352;
    const int h = 288;
    const test_media::EncodedStream stream = test_media::Encode("msmpeg4", w, h, 30, 10);
    const auto reference = test_media::ReferenceDecode("msmpeg4", stream);

    struct Layout {
        const char* name;
        BITMAPINFOHEADER header;
        AVPixelFormat format;
        int stride;
        bool bottomUp;
    } layouts[] = {
        {"YV12", Header(w, h, MakeFourCC('Y', 'V', '1', '2'), 12), AV_PIX_FMT_NONE, 0, false},
        {"YUY2", Header(w, h, MakeFourCC('Y', 'U', 'Y', '2'), 16), AV_PIX_FMT_YUYV422, w * 2, false},
        {"RGB24 bottom-up", Header(w, h, BI_RGB, 24), AV_PIX_FMT_BGR24, w * 3, true},
        {"RGB32 top-down", Header(w, -h, BI_RGB, 32), AV_PIX_FMT_BGR0, w * 4, false},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        HIC hic = ICOpen(ICTYPE_VIDEO, MakeFourCC('m', 'p', '4', '3'), ICMODE_FASTDECOMPRESS);
        ASSERT_NE(hic, nullptr);
        BITMAPINFOHEADER in = Header(w, h, MakeFourCC('M', 'P', '4', '3'), 16);
        ASSERT_EQ(ICDecompressBegin(hic, &in, &layout.header), ICERR_OK);
        const std::size_t size = layout.format == AV_PIX_FMT_NONE ? reference[0].size()
                                                                   : static_cast<std::size_t>(layout.stride) * h;
        // One byte past the picture must survive every decode.
        std::vector<std::uint8_t> out(size + 1, 0xEE);
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            in.biSizeImage = static_cast<DWORD>(stream.frames[i].data.size());
            ASSERT_EQ(ICDecompress(hic, ICDECOMPRESS_HURRYUP, &in, stream.frames[i].data.data(), &layout.header,
                                   out.data()),
                      ICERR_OK)
                << "frame " << i;
            ASSERT_EQ(out[size], 0xEE);
            if (layout.format == AV_PIX_FMT_NONE) {
                ASSERT_EQ(0, std::memcmp(out.data(), reference[i].data(), size)) << "frame " << i;
            } else if (i == 0 || i == stream.frames.size() - 1) {
                const auto expected = Convert(reference[i], w, h, layout.format, layout.stride,
                                                          layout.bottomUp);
                EXPECT_GT(test_media::Psnr(expected, out.data(), size), 45.0) << "frame " << i;
            }
        }
        ICClose(hic);
    }
}

TEST(VideoCompressionManager, CorruptFramesGiveAnErrorNotACrash)
{
    HIC hic = ICOpen(ICTYPE_VIDEO, MakeFourCC('X', 'V', 'I', 'D'), ICMODE_DECOMPRESS);
    ASSERT_NE(hic, nullptr);
    BITMAPINFOHEADER in = Header(352, 288, MakeFourCC('X', 'V', 'I', 'D'), 16);
    const BITMAPINFOHEADER out = Header(352, 288, MakeFourCC('Y', 'V', '1', '2'), 12);
    ASSERT_EQ(ICDecompressBegin(hic, &in, &out), ICERR_OK);
    std::vector<std::uint8_t> picture(352 * 288 * 3 / 2, 0x44);
    std::vector<std::uint8_t> noise(5000);
    std::uint32_t seed = 12345;
    for (auto& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    for (std::size_t length : {std::size_t{1}, std::size_t{7}, noise.size()}) {
        in.biSizeImage = static_cast<DWORD>(length);
        const LRESULT result = ICDecompress(hic, 0, &in, noise.data(), &out, picture.data());
        EXPECT_NE(result, ICERR_OK) << "length " << length;
    }
    ICClose(hic);
}
