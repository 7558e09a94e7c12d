// Snapshots through DEC_Snap and DEC_DecodeData: the BMP and JPEG files against the
// BT.601 equations applied to the picture the library decoded into the caller's buffer.

#include "decoder_library/Halvane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/Files.h"
#include "platform/codecs/Vfw.h"
#include "tests/decoder_library/CommandOutput.h"
#include "tests/platform/codecs/TestMedia.h"
#include "tests/support/TempDriveTable.h"

using halvane_test::Quoted;
using halvane_test::RunCommand;

namespace {

constexpr int kXvid = 3;
const char kFolder[] = "D:\\SNAP\\";

// One MPEG-4 intra frame of a picture given as planar 4:2:0 (Y, then U, then V).
std::vector<std::uint8_t> EncodeIntra(int width, int height, const std::vector<std::uint8_t>& yuv420)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = {1, 15};
    context->gop_size = 1;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * 2;
    context->codec_tag = platform::MakeFourCC('X', 'V', 'I', 'D');
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->quality = context->global_quality;
    EXPECT_EQ(av_frame_get_buffer(frame, 0), 0);
    const std::uint8_t* from = yuv420.data();
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? width : width / 2;
        const int h = plane == 0 ? height : height / 2;
        for (int row = 0; row < h; ++row, from += w)
            std::memcpy(frame->data[plane] + row * frame->linesize[plane], from, static_cast<std::size_t>(w));
    }
    std::vector<std::uint8_t> bytes;
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(avcodec_send_frame(context, frame), 0);
    avcodec_send_frame(context, nullptr);
    while (avcodec_receive_packet(context, packet) == 0) {
        bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return bytes;
}

// A picture whose top `whiteRows` rows are white (Y 235) and the rest black (Y 16), grey
// chroma.
std::vector<std::uint8_t> BlackAndWhite(int width, int height, int whiteRows)
{
    std::vector<std::uint8_t> yuv(static_cast<std::size_t>(width) * height * 3 / 2, 128);
    for (int row = 0; row < height; ++row)
        std::memset(yuv.data() + static_cast<std::size_t>(row) * width, row < whiteRows ? 235 : 16,
                    static_cast<std::size_t>(width));
    return yuv;
}

// Blue, green and red of the limited-range BT.601 equations, rounded and clamped.
void Bt601(int y, int u, int v, int bgr[3])
{
    const double luma = 1.164 * (y - 16);
    const double values[3] = {luma + 2.018 * (u - 128), luma - 0.813 * (v - 128) - 0.391 * (u - 128),
                              luma + 1.596 * (v - 128)};
    for (int i = 0; i < 3; ++i)
        bgr[i] = static_cast<int>(std::clamp(std::lround(values[i]), 0L, 255L));
}

std::string ReadFile(const std::string& hostPath)
{
    std::string bytes;
    platform::ReadWholeFile(hostPath, bytes);
    return bytes;
}

std::uint32_t Le32(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}

// Red-green-blue rows of a JPEG file, top row first, decoded by libjpeg.
std::vector<std::uint8_t> DecodeJpeg(const std::string& hostPath, int& width, int& height)
{
    const std::string bytes = ReadFile(hostPath);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

class Snapshot : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DEC_LoadLibrary(), 1);
        ASSERT_TRUE(platform::CreateFolderTree(kFolder));
    }
    void TearDown() override
    {
        for (int index = 0; index < 48; ++index)
            DEC_DestroyVideoDecoder(index);
        DEC_FreeLibrary();
    }

    int MakeDecoder(int width, int height)
    {
        const int index = DEC_CreateVideoDecoder(0);
        const DecoderFormat format{width, height, kXvid};
        EXPECT_EQ(DEC_SetDecoderFMT(index, 0, &format), 1);
        picture_.assign(static_cast<std::size_t>(width) * height * 3 / 2, 0);
        return index;
    }

    int Decode(int index, const std::vector<std::uint8_t>& frame, bool key = true)
    {
        int length = 0;
        return DEC_DecodeData(index, frame.data(), picture_.data(), static_cast<int>(frame.size()), &length,
                              key ? 1 : 0, 0);
    }

    std::string Host(const std::string& name) const { return drives_.Host(std::string(kFolder) + name); }

    suite::test::TempDriveTable drives_{"CD"};
    std::vector<unsigned char> picture_;
};

}  // namespace

TEST_F(Snapshot, BitmapHoldsTheDecodedPictureBottomUpInBt601Colours)
{
    const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 3, 10, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const int index = MakeDecoder(352, 288);
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\picture.BMP"), 1);
    ASSERT_EQ(Decode(index, stream.frames[1].data, stream.frames[1].key), 1);

    const std::string file = ReadFile(Host("picture.BMP"));
    ASSERT_EQ(file.size(), 304182u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(Le32(file, 2), 304182u);
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 352u);
    EXPECT_EQ(Le32(file, 22), 288u);
    EXPECT_EQ(Le32(file, 26), 1u | 24u << 16);  // planes, bits per pixel
    EXPECT_EQ(Le32(file, 30), 0u);
    EXPECT_EQ(Le32(file, 34), 352u * 288u * 3u);
    for (std::size_t at = 38; at < 54; at += 4)
        EXPECT_EQ(Le32(file, at), 0u) << at;

    const int width = 352;
    const int height = 288;
    const std::uint8_t* y = picture_.data();
    const std::uint8_t* v = y + width * height;
    const std::uint8_t* u = v + width * height / 4;
    int worst = 0;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            int expected[3];
            const int chroma = (row / 2) * (width / 2) + column / 2;
            Bt601(y[row * width + column], u[chroma], v[chroma], expected);
            const std::size_t at = 54 + (static_cast<std::size_t>(height - 1 - row) * width + column) * 3;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(static_cast<std::uint8_t>(file[at + c]) - expected[c]));
        }
    }
    EXPECT_LE(worst, 2);
}

TEST_F(Snapshot, BlackAndWhiteAreExactAndTheTopRowComesLast)
{
    const int index = MakeDecoder(352, 288);
    // White above, black below.
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\halves.BMP"), 1);
    ASSERT_EQ(Decode(index, EncodeIntra(352, 288, BlackAndWhite(352, 288, 144))), 1);
    ASSERT_EQ(picture_, BlackAndWhite(352, 288, 144)) << "flat pictures should decode exactly";
    const std::string file = ReadFile(Host("halves.BMP"));
    ASSERT_EQ(file.size(), 304182u);
    const std::size_t half = 352u * 144u * 3u;
    EXPECT_EQ(file.substr(54, half), std::string(half, '\0'));
    EXPECT_EQ(file.substr(54 + half), std::string(half, '\xFF'));
}

TEST_F(Snapshot, JpegOpensAtItsSizeAndLooksLikeTheBitmap)
{
    const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 2, 10, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const int index = MakeDecoder(352, 288);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\same.BMP"), 1);
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\same.JpG"), 1);
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);

    const auto probe = RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height -of default=nw=1 " +
                                  Quoted(Host("same.JpG")));
    EXPECT_EQ(probe.output, "codec_name=mjpeg\nwidth=352\nheight=288\n");

    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> rgb = DecodeJpeg(Host("same.JpG"), width, height);
    ASSERT_EQ(width, 352);
    ASSERT_EQ(height, 288);
    const std::string bitmap = ReadFile(Host("same.BMP"));
    ASSERT_EQ(bitmap.size(), 304182u);
    std::vector<std::uint8_t> expected(rgb.size());
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            for (int c = 0; c < 3; ++c)
                expected[(static_cast<std::size_t>(row) * width + column) * 3 + c] = static_cast<std::uint8_t>(
                    bitmap[54 + (static_cast<std::size_t>(height - 1 - row) * width + column) * 3 + 2 - c]);
    // Quality 100: the JPEG is the bitmap to within its chroma subsampling.
    EXPECT_GT(test_media::Psnr(expected, rgb.data(), rgb.size()), 35.0);
}

TEST_F(Snapshot, WidthsNotAMultipleOfFourKeepUnpaddedRowsInBothFiles)
{
    const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 90, 64, 1, 10, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const int index = MakeDecoder(90, 64);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\narrow.BMP"), 1);
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\narrow.jpg"), 1);
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);

    const std::string bitmap = ReadFile(Host("narrow.BMP"));
    ASSERT_EQ(bitmap.size(), 54u + 90u * 64u * 3u);
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> rgb = DecodeJpeg(Host("narrow.jpg"), width, height);
    ASSERT_EQ(width, 90);
    ASSERT_EQ(height, 64);
    // The 88 converted columns of every row agree; a padded stride would shear the rows.
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> got;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < 88; ++column)
            for (int c = 0; c < 3; ++c) {
                expected.push_back(static_cast<std::uint8_t>(
                    bitmap[54 + (static_cast<std::size_t>(height - 1 - row) * width + column) * 3 + 2 - c]));
                got.push_back(rgb[(static_cast<std::size_t>(row) * width + column) * 3 + c]);
            }
    EXPECT_GT(test_media::Psnr(expected, got.data(), got.size()), 30.0);
}

TEST_F(Snapshot, RequestsWaitForAGoodPictureAndOnlyTheLastPathIsWritten)
{
    const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 2, 10, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const int index = MakeDecoder(352, 288);

    // Two requests before a picture: one file, at the second path.
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\first.BMP"), 1);
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\second.BMP"), 1);
    // Decodes that fail keep the request waiting.
    const std::vector<std::uint8_t> noise(300, 0);
    EXPECT_EQ(Decode(index, noise), 0);
    EXPECT_FALSE(platform::Exists(Host("second.BMP")));
    ASSERT_EQ(Decode(index, stream.frames[0].data), 1);
    EXPECT_FALSE(platform::Exists(Host("first.BMP")));
    EXPECT_EQ(platform::FileSize(Host("second.BMP")), 304182);
    // The request is used up: the next picture writes nothing new.
    ASSERT_TRUE(platform::DeleteFile(Host("second.BMP")));
    ASSERT_EQ(Decode(index, stream.frames[1].data, stream.frames[1].key), 1);
    EXPECT_FALSE(platform::Exists(Host("second.BMP")));

    // Names that ask for no known type write nothing, and the request is still used up.
    for (const char* path : {"D:\\SNAP\\lower.bmp", "D:\\SNAP\\none.png", ""}) {
        ASSERT_EQ(DEC_Snap(index, path), 1);
        ASSERT_EQ(Decode(index, stream.frames[0].data), 1);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Host("")), std::filesystem::directory_iterator()), 0);

    // A folder that does not exist: nothing written, decoding unaffected.
    ASSERT_EQ(DEC_Snap(index, "D:\\SNAP\\missing\\x.JPG"), 1);
    EXPECT_EQ(Decode(index, stream.frames[0].data), 1);
    EXPECT_FALSE(platform::Exists(Host("missing")));
}

namespace {

// The conversion written out one pixel at a time: each colour is the rounded luma share plus
// the rounded chroma shares, clamped; every chroma sample serves a 2 x 2 block, and columns
// past the last whole group of four stay black.
std::vector<std::uint8_t> ReferenceBottomUpBgr(const std::vector<unsigned char>& yv12, int width, int height)
{
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    const std::uint8_t* y = yv12.data();
    const std::uint8_t* v = y + static_cast<std::size_t>(width) * height;
    const std::uint8_t* u = v + static_cast<std::size_t>(chromaWidth) * chromaHeight;
    auto share = [](double factor, int value) { return static_cast<int>(std::lround(factor * value)); };
    auto clamp = [](int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); };
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3, 0);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width / 4 * 4; ++column) {
            const std::size_t chroma =
                static_cast<std::size_t>(std::min(row / 2, chromaHeight - 1)) * chromaWidth + column / 2;
            const int luma = share(1.164, y[static_cast<std::size_t>(row) * width + column] - 16);
            const int cb = u[chroma] - 128;
            const int cr = v[chroma] - 128;
            std::uint8_t* out = bgr.data() + (static_cast<std::size_t>(height - 1 - row) * width + column) * 3;
            out[0] = clamp(luma + share(2.018, cb));
            out[1] = clamp(luma + share(-0.391, cb) + share(-0.813, cr));
            out[2] = clamp(luma + share(1.596, cr));
        }
    }
    return bgr;
}

}  // namespace

TEST_F(Snapshot, NoisePicturesConvertExactlyAsThePixelByPixelSums)
{
    // 90 x 66: a width that leaves two columns unconverted and odd chroma width and height;
    // 352 x 288: everything even.
    const std::pair<int, int> sizes[] = {{90, 66}, {352, 288}};
    std::uint32_t noise = 12345;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        std::vector<std::uint8_t> yuv(static_cast<std::size_t>(width) * height * 3 / 2);
        for (auto& sample : yuv) {
            noise = noise * 1664525 + 1013904223;
            sample = static_cast<std::uint8_t>(noise >> 24);
        }
        const int index = MakeDecoder(width, height);
        const std::string name = "noise" + std::to_string(width) + ".BMP";
        ASSERT_EQ(DEC_Snap(index, (std::string(kFolder) + name).c_str()), 1);
        ASSERT_EQ(Decode(index, EncodeIntra(width, height, yuv)), 1);
        const std::string file = ReadFile(Host(name));
        ASSERT_EQ(file.size(), 54u + static_cast<std::size_t>(width) * height * 3);
        const std::vector<std::uint8_t> expected = ReferenceBottomUpBgr(picture_, width, height);
        std::size_t differing = 0;
        for (std::size_t at = 0; at < expected.size(); ++at)
            differing += static_cast<std::uint8_t>(file[54 + at]) != expected[at] ? 1 : 0;
        EXPECT_EQ(differing, 0u);
        DEC_DestroyVideoDecoder(index);
    }
}
