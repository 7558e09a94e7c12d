// DEC_DecodeData pictures per second on the network cameras' H.264 and H.265 beside libavcodec
// alone decoding the same access units in the same process, both single-threaded. The streams
// are made by FFmpeg's encoders before anything is timed. Each figure is the best of 7 runs in
// processor time (the machine is shared); the table gives the ratio of each pair.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder_library/Halvane.h"
#include "tests/decoder_library/CameraUnits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

constexpr int kRuns = 7;

using Unit = halvane_test::CameraUnit;

double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

std::vector<Unit> Encode(const std::string& codec, int width, int height, int frames)
{
    const std::string path = "/tmp/halvane-camera-bench-" + codec + "-" + std::to_string(height) + (codec == "libx264" ? ".h264" : ".hevc");
    const std::string params = codec == "libx264" ? "-preset veryfast -bf 2 -g 50 -b:v 4M"
                                                  : "-preset veryfast -x265-params log-level=error:bframes=2:keyint=50 -b:v 3M";
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
                                std::to_string(height) + ":rate=25 -frames:v " + std::to_string(frames) +
                                " -c:v " + codec + " " + params + " " + path;
    if (std::system(command.c_str()) != 0)
        return {};
    std::vector<Unit> units = halvane_test::CameraUnitsOf(path);
    std::remove(path.c_str());
    return units;
}

// Processor seconds libavcodec alone takes for the units, single-threaded.
double LibavcodecSeconds(AVCodecID id, const std::vector<Unit>& units, int& pictures)
{
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    pictures = 0;
    const double start = CpuSeconds();
    for (const Unit& unit : units) {
        av_new_packet(packet, static_cast<int>(unit.bytes.size()));
        std::memcpy(packet->data, unit.bytes.data(), unit.bytes.size());
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, frame) == 0)
            ++pictures;
    }
    const double seconds = CpuSeconds() - start;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return seconds;
}

// Processor seconds DEC_DecodeData takes for the units into a caller's YV12 picture.
double HalvaneSeconds(int compressor, int width, int height, const std::vector<Unit>& units, int& pictures)
{
    const int entry = DEC_CreateVideoDecoder(0);
    const DecoderFormat format{width, height, compressor};
    DEC_SetDecoderFMT(entry, 0, &format);
    std::vector<unsigned char> picture(static_cast<size_t>(width) * height * 3 / 2);
    pictures = 0;
    const double start = CpuSeconds();
    for (const Unit& unit : units) {
        int length = 0;
        DEC_DecodeData(entry, unit.bytes.data(), picture.data(), static_cast<int>(unit.bytes.size()), &length,
                       unit.key, 0);
        if (length > 0)
            ++pictures;
    }
    const double seconds = CpuSeconds() - start;
    DEC_DestroyVideoDecoder(entry);
    return seconds;
}

}  // namespace

int main()
{
    av_log_set_level(AV_LOG_ERROR);
    DEC_LoadLibrary();
    struct Case {
        const char* name;
        const char* encoder;
        AVCodecID id;
        int compressor, width, height, frames;
    };
    const Case cases[] = {
        {"H.264 720p", "libx264", AV_CODEC_ID_H264, DEC_COMPRESSOR_H264, 1280, 720, 150},
        {"H.264 1080p", "libx264", AV_CODEC_ID_H264, DEC_COMPRESSOR_H264, 1920, 1080, 100},
        {"H.265 720p", "libx265", AV_CODEC_ID_HEVC, DEC_COMPRESSOR_H265, 1280, 720, 100},
        {"H.265 1080p", "libx265", AV_CODEC_ID_HEVC, DEC_COMPRESSOR_H265, 1920, 1080, 60},
    };
    std::printf("%-12s %12s %14s %8s\n", "stream", "DEC pict/s", "libavcodec/s", "ratio");
    for (const Case& c : cases) {
        const std::vector<Unit> units = Encode(c.encoder, c.width, c.height, c.frames);
        if (units.empty()) {
            std::printf("%-12s could not be encoded\n", c.name);
            continue;
        }
        double bestDec = 1e9, bestLav = 1e9;
        int decPictures = 0, lavPictures = 0;
        for (int run = 0; run < kRuns; ++run) {
            bestLav = std::min(bestLav, LibavcodecSeconds(c.id, units, lavPictures));
            bestDec = std::min(bestDec, HalvaneSeconds(c.compressor, c.width, c.height, units, decPictures));
        }
        const double dec = decPictures / bestDec, lav = lavPictures / bestLav;
        std::printf("%-12s %12.1f %14.1f %8.2f\n", c.name, dec, lav, dec / lav);
    }
    DEC_FreeLibrary();
    return 0;
}
