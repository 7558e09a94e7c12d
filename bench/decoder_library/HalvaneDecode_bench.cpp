// DEC_DecodeData frames per second beside libavcodec decoding the same frames in the same
// process, single-threaded. Each case decodes a whole stream per iteration; the best of 7
// repetitions counts, the repetitions of all cases are interleaved, and the ratios use
// processor time rather than wall time, since the machine is shared. At the end a table prints each ratio, then the ffmpeg command line's own
// figures for reference.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "decoder_library/Halvane.h"
#include "platform/codecs/Vfw.h"
#include "tests/platform/codecs/TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace {

constexpr int kFrames = 100;

struct Size {
    const char* name;
    int width;
    int height;
};
constexpr Size kSizes[] = {{"CIF", 352, 288}, {"D1", 704, 576}};

struct Path {
    const char* name;       // shown in the table
    const char* encoder;    // libavcodec encoder that makes the stream
    const char* decoder;    // libavcodec decoder of the peer
    int compressor;         // DecoderFormat.compressor of the same stream
    std::uint32_t codecTag;
};
const Path kPaths[] = {
    {"MP42 system codec", "msmpeg4v2", "msmpeg4v2", 2, 0},
    {"XviD", "mpeg4", "mpeg4", 3, platform::MakeFourCC('X', 'V', 'I', 'D')},
};

const test_media::EncodedStream& Stream(const Path& path, const Size& size)
{
    static std::map<std::string, test_media::EncodedStream> streams;
    const std::string key = std::string(path.encoder) + size.name;
    auto found = streams.find(key);
    if (found == streams.end())
        found = streams.emplace(key, test_media::Encode(path.encoder, size.width, size.height, kFrames, 25,
                                                        path.codecTag, 4))
                    .first;
    return found->second;
}

void DecodeThroughLibrary(benchmark::State& state, const Path& path, const Size& size)
{
    const auto& stream = Stream(path, size);
    DEC_LoadLibrary();
    const int index = DEC_CreateVideoDecoder(0);
    const DecoderFormat format{size.width, size.height, path.compressor};
    if (index < 0 || DEC_SetDecoderFMT(index, 0, &format) != 1) {
        state.SkipWithError("the library refused the format");
        return;
    }
    std::vector<unsigned char> picture(static_cast<std::size_t>(size.width) * size.height * 3 / 2);
    for (auto _ : state) {
        for (const auto& frame : stream.frames) {
            int length = 0;
            if (DEC_DecodeData(index, frame.data.data(), picture.data(), static_cast<int>(frame.data.size()), &length,
                               frame.key, 0) != 1) {
                state.SkipWithError("a frame failed to decode");
                break;
            }
        }
        benchmark::DoNotOptimize(picture.data());
    }
    DEC_DestroyVideoDecoder(index);
}

void DecodeWithLibavcodec(benchmark::State& state, const Path& path, const Size& size)
{
    const auto& stream = Stream(path, size);
    // Padded packets made before timing: the peer pays only for decoding.
    std::vector<AVPacket*> packets;
    for (const auto& frame : stream.frames) {
        AVPacket* packet = av_packet_alloc();
        av_new_packet(packet, static_cast<int>(frame.data.size()));
        std::memcpy(packet->data, frame.data.data(), frame.data.size());
        packets.push_back(packet);
    }
    const AVCodec* codec = avcodec_find_decoder_by_name(path.decoder);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = size.width;
    context->height = size.height;
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    avcodec_open2(context, codec, nullptr);
    AVFrame* picture = av_frame_alloc();
    for (auto _ : state) {
        for (AVPacket* packet : packets) {
            avcodec_send_packet(context, packet);
            if (avcodec_receive_frame(context, picture) >= 0)
                av_frame_unref(picture);
        }
    }
    av_frame_free(&picture);
    avcodec_free_context(&context);
    for (AVPacket* packet : packets)
        av_packet_free(&packet);
}

double Best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

// Keeps the best time of every case for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "best")
                bestSeconds_[run.run_name.function_name] = run.GetAdjustedCPUTime() / 1e3;
        ConsoleReporter::ReportRuns(runs);
    }
    double FramesPerSecond(const std::string& name) const
    {
        auto found = bestSeconds_.find(name);
        return found == bestSeconds_.end() || found->second <= 0 ? 0.0 : kFrames / found->second;
    }

private:
    std::map<std::string, double> bestSeconds_;  // milliseconds converted to seconds
};

void PrintCommandLineReference()
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        return;
    std::printf("\nffmpeg -threads 1 -benchmark, same sizes, for reference:\n");
    for (const Size& size : kSizes) {
        for (const char* codec : {"msmpeg4v2", "mpeg4"}) {
            const std::string file = std::string("/tmp/halvane_bench_") + codec + size.name + ".avi";
            const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(size.width) + "x" +
                                     std::to_string(size.height) + ":rate=25 -frames:v 300 -c:v " + codec +
                                     " -q:v 4 -bf 0 -g 25 " + file;
            if (std::system(make.c_str()) != 0)
                continue;
            const std::string run =
                "ffmpeg -hide_banner -nostats -threads 1 -benchmark -i " + file + " -f null - 2>&1 | grep \"bench: utime\"";
            std::printf("%-10s %-4s 300 frames: ", codec, size.name);
            std::fflush(stdout);
            std::system(run.c_str());
            std::remove(file.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_QUIET);
    for (const Size& size : kSizes) {
        for (const Path& path : kPaths) {
            const std::string suffix = std::string(path.name) + "/" + size.name;
            for (auto* bench : {benchmark::RegisterBenchmark(("DEC_DecodeData/" + suffix).c_str(), DecodeThroughLibrary,
                                                             path, size),
                                benchmark::RegisterBenchmark(("libavcodec/" + suffix).c_str(), DecodeWithLibavcodec,
                                                             path, size)}) {
                bench->Repetitions(7)->MinTime(0.3)->ComputeStatistics("best", Best)->ReportAggregatesOnly(true)->Unit(
                    benchmark::kMillisecond);
            }
        }
    }
    // The repetitions of both sides are interleaved, so that a busy spell on the shared
    // machine falls on both rather than on one side's seven runs (unless asked otherwise).
    std::vector<char*> arguments(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    bool interleaveGiven = false;
    for (int i = 1; i < argc; ++i)
        interleaveGiven = interleaveGiven || std::strncmp(argv[i], "--benchmark_enable_random_interleaving", 38) == 0;
    if (!interleaveGiven)
        arguments.push_back(interleave);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-28s %14s %14s %8s\n", "stream", "DEC_DecodeData", "libavcodec", "ratio");
    for (const Size& size : kSizes) {
        for (const Path& path : kPaths) {
            const std::string suffix = std::string(path.name) + "/" + size.name;
            const double ours = reporter.FramesPerSecond("DEC_DecodeData/" + suffix);
            const double peer = reporter.FramesPerSecond("libavcodec/" + suffix);
            std::printf("%-28s %10.0f f/s %10.0f f/s %8.2f\n", suffix.c_str(), ours, peer,
                        peer > 0 ? ours / peer : 0.0);
        }
    }
    PrintCommandLineReference();
    DEC_FreeLibrary();
    return 0;
}
