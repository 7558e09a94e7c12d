// The network cameras' codecs through DEC_DecodeData: H.264 and H.265 (with and without
// B-frames, odd sizes, a size change mid-stream) and Motion JPEG, made here by FFmpeg's
// encoders, give the very pictures libavcodec gives on the same frames; damaged streams
// never crash; capture writes the camera's codec into the file.

#include "decoder_library/Halvane.h"
#include "record_file_library/Stordane.h"
#include "tests/decoder_library/CameraUnits.h"
#include "tests/decoder_library/CommandOutput.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Unit = halvane_test::CameraUnit;
using halvane_test::CameraUnitsOf;

// libavcodec alone on the same units, single-threaded: each picture as YV12 (Y, V, U).
std::vector<std::vector<uint8_t>> ReferencePictures(AVCodecID id, const std::vector<Unit>& units)
{
    std::vector<std::vector<uint8_t>> pictures;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            std::vector<uint8_t> yv12;
            const int w = frame->width, h = frame->height;
            for (int y = 0; y < h; ++y)
                yv12.insert(yv12.end(), frame->data[0] + y * frame->linesize[0], frame->data[0] + y * frame->linesize[0] + w);
            for (int plane : {2, 1})
                for (int y = 0; y < h / 2; ++y)
                    yv12.insert(yv12.end(), frame->data[plane] + y * frame->linesize[plane],
                                frame->data[plane] + y * frame->linesize[plane] + w / 2);
            pictures.push_back(std::move(yv12));
        }
    };
    for (const Unit& unit : units) {
        av_new_packet(packet, static_cast<int>(unit.bytes.size()));
        std::memcpy(packet->data, unit.bytes.data(), unit.bytes.size());
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        take();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pictures;
}

class CameraCodecsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(DEC_LoadLibrary(), 0); }

    // Encodes `frames` of FFmpeg's moving test picture with `codec` options into a raw file.
    std::string Encode(const std::string& name, const std::string& size, int frames,
                       const std::string& codec)
    {
        const std::string path = (fs::path(folder_.path()) / name).string();
        const auto result = halvane_test::RunCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=25 -frames:v " +
            std::to_string(frames) + " " + codec + " " + halvane_test::Quoted(path) + " 2>&1");
        EXPECT_EQ(result.status, 0) << result.output;
        return path;
    }

    // Decodes the units through one DEC_ entry set to width x height; the pictures it gave.
    std::vector<std::vector<uint8_t>> Decoded(int compressor, int width, int height,
                                              const std::vector<Unit>& units)
    {
        const int entry = DEC_CreateVideoDecoder(0);
        EXPECT_GE(entry, 0);
        const DecoderFormat format{width, height, compressor};
        EXPECT_EQ(DEC_SetDecoderFMT(entry, 0, &format), 1);
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3 / 2);
        for (const Unit& unit : units) {
            int length = -1;
            EXPECT_EQ(DEC_DecodeData(entry, unit.bytes.data(), picture.data(),
                                     static_cast<int>(unit.bytes.size()), &length, unit.key, 0),
                      1);
            if (length > 0)
                pictures.push_back(picture);
        }
        DEC_DestroyVideoDecoder(entry);
        return pictures;
    }

    suite::test::TempDriveTable drives_{"CD"};
    suite::test::TempFolder folder_;
};

TEST_F(CameraCodecsTest, EveryPictureEqualsLibavcodecsForEachCodecSizeAndBFrameSetting)
{
    struct Case {
        const char* name;
        const char* size;
        int width, height, frames;
        const char* codec;
        int compressor;
        AVCodecID id;
    };
    const Case cases[] = {
        {"cif.h264", "352x288", 352, 288, 30, "-c:v libx264 -preset ultrafast -bf 0 -g 12 -f h264", 5, AV_CODEC_ID_H264},
        {"cif-b.h264", "352x288", 352, 288, 30, "-c:v libx264 -preset fast -bf 3 -g 12 -f h264", 5, AV_CODEC_ID_H264},
        {"odd-b.h264", "1918x1078", 1918, 1078, 8, "-c:v libx264 -preset ultrafast -bf 2 -g 4 -f h264", 5, AV_CODEC_ID_H264},
        {"hd.h264", "1280x720", 1280, 720, 8, "-c:v libx264 -preset ultrafast -bf 0 -f h264", 5, AV_CODEC_ID_H264},
        {"full-b.h264", "1920x1080", 1920, 1080, 6, "-c:v libx264 -preset ultrafast -bf 2 -g 4 -f h264", 5, AV_CODEC_ID_H264},
        {"cif.h265", "352x288", 352, 288, 20, "-c:v libx265 -preset ultrafast -x265-params log-level=error:bframes=0:keyint=10 -f hevc", 6, AV_CODEC_ID_HEVC},
        {"cif-b.h265", "352x288", 352, 288, 20, "-c:v libx265 -preset fast -x265-params log-level=error:bframes=3:keyint=10 -f hevc", 6, AV_CODEC_ID_HEVC},
        {"full.h265", "1920x1080", 1920, 1080, 4, "-c:v libx265 -preset ultrafast -x265-params log-level=error -f hevc", 6, AV_CODEC_ID_HEVC},
        {"hd-b.h265", "1280x720", 1280, 720, 6, "-c:v libx265 -preset ultrafast -x265-params log-level=error:bframes=2:keyint=4 -f hevc", 6, AV_CODEC_ID_HEVC},
        {"odd.h265", "1918x1078", 1918, 1078, 3, "-c:v libx265 -preset ultrafast -x265-params log-level=error -f hevc", 6, AV_CODEC_ID_HEVC},
        {"cif.mjpeg", "352x288", 352, 288, 10, "-c:v mjpeg -pix_fmt yuvj420p -q:v 5 -f mjpeg", 7, AV_CODEC_ID_MJPEG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Unit> units = CameraUnitsOf(Encode(c.name, c.size, c.frames, c.codec));
        ASSERT_GE(units.size(), static_cast<size_t>(c.frames)) << "the parser split too few units";
        const auto reference = ReferencePictures(c.id, units);
        const auto decoded = Decoded(c.compressor, c.width, c.height, units);
        ASSERT_FALSE(reference.empty());
        // Both hold back the same pictures for display order, so they give the same ones.
        ASSERT_EQ(decoded.size(), reference.size());
        for (size_t i = 0; i < decoded.size(); ++i)
            ASSERT_TRUE(decoded[i] == reference[i]) << "picture " << i << " differs";
    }
}

TEST_F(CameraCodecsTest, MotionJpegIn422KeepsItsLumaAndFullRangeWithChromaOfBothRows)
{
    // Many cameras send 4:2:2 Motion JPEG: the picture comes as YV12 with the very luma
    // libavcodec gives (no range squeeze), the chroma resampled from both its rows (the
    // scaler's filter reaches a row further on each side, so sharp edges may differ a bit).
    const std::vector<Unit> units =
        CameraUnitsOf(Encode("cif422.mjpeg", "352x288", 3, "-c:v mjpeg -pix_fmt yuvj422p -q:v 3 -f mjpeg"));
    ASSERT_EQ(units.size(), 3u);
    const auto decoded = Decoded(7, 352, 288, units);
    ASSERT_EQ(decoded.size(), 3u);

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    ASSERT_EQ(avcodec_open2(context, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    av_new_packet(packet, static_cast<int>(units[1].bytes.size()));
    std::memcpy(packet->data, units[1].bytes.data(), units[1].bytes.size());
    ASSERT_EQ(avcodec_send_packet(context, packet), 0);
    ASSERT_EQ(avcodec_receive_frame(context, frame), 0);
    ASSERT_EQ(frame->format, AV_PIX_FMT_YUVJ422P);

    const std::vector<uint8_t>& picture = decoded[1];
    const int w = 352, h = 288;
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(std::memcmp(picture.data() + y * w, frame->data[0] + y * frame->linesize[0], w), 0) << "luma row " << y;
    long total = 0;
    const uint8_t* planes[2] = {picture.data() + w * h + (w / 2) * (h / 2), picture.data() + w * h};  // U, V
    for (int p = 0; p < 2; ++p)
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                const uint8_t* source = frame->data[1 + p];
                const int stride = frame->linesize[1 + p];
                const int mean = (source[2 * y * stride + x] + source[(2 * y + 1) * stride + x] + 1) / 2;
                total += std::abs(planes[p][y * (w / 2) + x] - mean);
            }
    // A range squeeze or a chroma taken from one row alone would be far off the mean.
    const double average = static_cast<double>(total) / (2.0 * (w / 2) * (h / 2));
    EXPECT_LT(average, 1.0);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

TEST_F(CameraCodecsTest, SizeChangeMidStreamAndDamagedStreamsDecodeWithoutHarm)
{
    std::vector<Unit> units = CameraUnitsOf(Encode("a.h264", "352x288", 10, "-c:v libx264 -preset ultrafast -g 5 -f h264"));
    const std::vector<Unit> larger = CameraUnitsOf(Encode("b.h264", "640x360", 10, "-c:v libx264 -preset ultrafast -g 5 -f h264"));
    units.insert(units.end(), larger.begin(), larger.end());
    // The entry is set for the first size: pictures of the second come at that size too.
    const auto decoded = Decoded(5, 352, 288, units);
    EXPECT_EQ(decoded.size(), 20u);

    // Damage of every kind a link can cause: units cut short, garbage between units, the
    // parameter sets missing. Each call returns; nothing reads or writes out of bounds.
    std::vector<Unit> damaged;
    uint32_t noise = 12345;
    for (size_t i = 0; i < units.size(); ++i) {
        Unit unit = units[i];
        if (i % 3 == 1)
            unit.bytes.resize(unit.bytes.size() / 2);
        if (i % 4 == 2) {
            for (int k = 0; k < 200; ++k)
                unit.bytes.insert(unit.bytes.begin() + unit.bytes.size() / 2, static_cast<uint8_t>((noise = noise * 1103515245 + 12345) >> 24));
        }
        if (i == 0 || i == 10)
            unit.bytes.erase(unit.bytes.begin(), unit.bytes.begin() + std::min<size_t>(unit.bytes.size(), 40));
        damaged.push_back(unit);
    }
    const int entry = DEC_CreateVideoDecoder(0);
    const DecoderFormat format{352, 288, 5};
    ASSERT_EQ(DEC_SetDecoderFMT(entry, 0, &format), 1);
    std::vector<uint8_t> picture(352 * 288 * 3 / 2);
    for (const Unit& unit : damaged) {
        int length = 0;
        DEC_DecodeData(entry, unit.bytes.data(), picture.data(), static_cast<int>(unit.bytes.size()), &length, unit.key, 0);
    }
    // A good key frame after the damage decodes again.
    int length = 0;
    EXPECT_EQ(DEC_DecodeData(entry, units[5].bytes.data(), picture.data(), static_cast<int>(units[5].bytes.size()), &length, 1, 0), 1);
    DEC_DestroyVideoDecoder(entry);
}

TEST_F(CameraCodecsTest, CaptureWritesTheCamerasCodecWithKeyFlagsFromAKeyFrame)
{
    struct Case {
        const char* name;
        const char* codec;
        int compressor;
        const char* probed;
    };
    const Case cases[] = {
        {"cap.h264", "-c:v libx264 -preset ultrafast -bf 2 -g 10 -f h264", 5, "h264"},
        {"cap.h265", "-c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=10 -f hevc", 6, "hevc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Unit> units = CameraUnitsOf(Encode(c.name, "352x288", 40, c.codec));
        ASSERT_GE(units.size(), 40u);
        const int entry = DEC_CreateVideoDecoder(0);
        const DecoderFormat format{352, 288, c.compressor};
        ASSERT_EQ(DEC_SetDecoderFMT(entry, 0, &format), 1);
        std::vector<uint8_t> picture(352 * 288 * 3 / 2);
        int length = 0;
        // The capture starts mid-GOP: the file begins at the next key frame.
        for (size_t i = 0; i < 3; ++i)
            DEC_DecodeData(entry, units[i].bytes.data(), picture.data(), static_cast<int>(units[i].bytes.size()), &length, units[i].key, 0);
        const std::string windows = std::string("D:\\VIDEO\\") + (c.compressor == 5 ? "h264" : "h265") + "\\";
        const fs::path folder = drives_.Host(windows);
        fs::create_directories(folder);
        ASSERT_EQ(DEC_StartCapture(entry, windows.c_str(), 0x102, nullptr, 0), 1);
        for (size_t i = 3; i < units.size(); ++i)
            DEC_DecodeData(entry, units[i].bytes.data(), picture.data(), static_cast<int>(units[i].bytes.size()), &length, units[i].key, 0);
        ASSERT_EQ(DEC_StopCapture(entry), 1);
        DEC_DestroyVideoDecoder(entry);

        std::vector<fs::path> files;
        for (const auto& file : fs::recursive_directory_iterator(folder))
            if (file.path().extension() == ".avi")
                files.push_back(file.path());
        ASSERT_EQ(files.size(), 1u);
        const auto codec = halvane_test::RunCommand(
            "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string -of csv=p=0 " +
            halvane_test::Quoted(files[0].string()));
        EXPECT_EQ(codec.output, std::string(c.probed) + "," + (c.compressor == 5 ? "H264" : "HEVC") + "\n");
        const auto frames = halvane_test::RunCommand(
            "ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " +
            halvane_test::Quoted(files[0].string()));
        // The file holds every unit from the first key frame after the start, with the
        // parser's key flags.
        size_t first = 3;
        while (first < units.size() && !units[first].key)
            ++first;
        std::vector<std::string> flags;
        size_t start = 0, end;
        while ((end = frames.output.find('\n', start)) != std::string::npos) {
            flags.push_back(frames.output.substr(start, end - start));
            start = end + 1;
        }
        ASSERT_EQ(flags.size(), units.size() - first) << frames.output;
        for (size_t i = 0; i < flags.size(); ++i)
            EXPECT_EQ(flags[i][0] == 'K', units[first + i].key) << "packet " << i;
        EXPECT_EQ(flags[0][0], 'K');
    }
}

}  // namespace
