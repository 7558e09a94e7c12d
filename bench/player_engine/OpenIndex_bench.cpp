// Opening and indexing a 30-minute recording with sound, beside libavformat opening the same
// file in the same process and reading its stream facts: a recorder's CIF MPEG-4 and a network
// camera's 1080p H.264; and a seek to a new position with the first picture there. Every figure is the best of 7 repetitions; the ratios are
// printed at the end. Built, never run by ctest: build/bin/pellix_bench

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/codecs/Vfw.h"
#include "player_engine/Pellix.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"

namespace {

std::string BenchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/pellix-bench";
}

// 27,000 frames at 15 frames per second, 352 x 288, MPEG-4 with a key frame every 25, and
// IMA ADPCM in 256-byte blocks: about 55,000 chunks. A 20-second piece is encoded once and
// repeated by stream copy, so making the file takes seconds.
const std::string& Recording() {
    static const std::string path = [] {
        const std::string folder = BenchFolder();
        std::filesystem::create_directories(folder);
        const std::string piece = folder + "/piece.avi", whole = folder + "/cif30.avi";
        if (!std::filesystem::exists(whole)) {
            const std::string make_piece =
                "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=15 -f lavfi -i "
                "sine=frequency=440:sample_rate=8000 -t 20 -c:v mpeg4 -vtag XVID -g 25 -q:v 8 -c:a adpcm_ima_wav "
                "-block_size 256 -ar 8000 -ac 1 '" + piece + "'";
            const std::string make_whole = "ffmpeg -nostdin -loglevel error -y -stream_loop 89 -i '" + piece +
                                           "' -c copy -t 1800 '" + whole + "'";
            if (std::system(make_piece.c_str()) != 0 || std::system(make_whole.c_str()) != 0)
                std::fprintf(stderr, "ffmpeg could not make the recording\n");
        }
        return whole;
    }();
    return path;
}

// 45,000 frames at 25 frames per second, 1920 x 1080 H.264 with its parameter sets before a
// key frame every 50 (as cameras send it), and IMA ADPCM in 256-byte blocks: about 80,000
// chunks, made from a 20-second piece as above.
const std::string& CameraRecording() {
    static const std::string path = [] {
        const std::string folder = BenchFolder();
        std::filesystem::create_directories(folder);
        const std::string piece = folder + "/piece1080.avi", whole = folder + "/h264_1080_30.avi";
        if (!std::filesystem::exists(whole)) {
            const std::string make_piece =
                "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=1920x1080:rate=25 -f lavfi -i "
                "sine=frequency=440:sample_rate=8000 -t 20 -c:v libx264 -preset ultrafast -bf 0 -x264-params "
                "repeat-headers=1 -pix_fmt yuv420p -vtag H264 -g 50 -b:v 1M -c:a adpcm_ima_wav -block_size 256 "
                "-ar 8000 -ac 1 '" + piece + "'";
            const std::string make_whole = "ffmpeg -nostdin -loglevel error -y -stream_loop 89 -i '" + piece +
                                           "' -c copy -t 1800 '" + whole + "'";
            if (std::system(make_piece.c_str()) != 0 || std::system(make_whole.c_str()) != 0)
                std::fprintf(stderr, "ffmpeg could not make the camera recording\n");
        }
        return whole;
    }();
    return path;
}

using RecordingOf = const std::string& (*)();

void BM_PellixOpenAndIndex(benchmark::State& state, RecordingOf recording) {
    const std::string& path = recording();
    uint32_t frames = 0;
    for (auto _ : state) {
        pellix::FileInput input;
        pellix::AviDemuxer demuxer;
        if (!input.Open(path.c_str(), true, false) || !demuxer.Open(&input)) {
            state.SkipWithError("open failed");
            return;
        }
        frames = demuxer.FrameCount();
        benchmark::DoNotOptimize(frames);
    }
    state.counters["frames"] = frames;
}

void BM_PellixOpenFileApi(benchmark::State& state, RecordingOf recording) {
    const std::string& path = recording();
    for (auto _ : state) {
        if (Pellix_OpenFile(0, path.c_str()) != 1) {
            state.SkipWithError("Pellix_OpenFile failed");
            return;
        }
        benchmark::DoNotOptimize(Pellix_GetFileTotalFrames(0));
        Pellix_CloseFile(0);
    }
}

void BM_LibavformatOpen(benchmark::State& state, RecordingOf recording) {
    const std::string& path = recording();
    for (auto _ : state) {
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) != 0 ||
            avformat_find_stream_info(context, nullptr) < 0) {
            state.SkipWithError("libavformat open failed");
            return;
        }
        benchmark::DoNotOptimize(context->streams[0]->nb_frames);
        avformat_close_input(&context);
    }
}

// A seek to a new position, the key frame read there and decoded to the engine's YUY2.
void BM_PellixSeekFirstPicture(benchmark::State& state) {
    const std::string& path = Recording();
    pellix::FileInput input;
    pellix::AviDemuxer demuxer;
    if (!input.Open(path.c_str(), true, false) || !demuxer.Open(&input)) {
        state.SkipWithError("open failed");
        return;
    }
    platform::BITMAPINFOHEADER in{};
    std::memcpy(&in, demuxer.VideoFormat().data(), sizeof in);
    platform::BITMAPINFOHEADER out = in;
    out.biBitCount = 16;
    out.biCompression = platform::MakeFourCC('Y', 'U', 'Y', '2');
    out.biSizeImage = static_cast<uint32_t>(in.biWidth * in.biHeight * 2);
    platform::HIC codec = platform::ICOpen(platform::ICTYPE_VIDEO, in.biCompression, platform::ICMODE_FASTDECOMPRESS);
    if (codec == nullptr || platform::ICDecompressBegin(codec, &in, &out) != platform::ICERR_OK) {
        state.SkipWithError("no decoder");
        return;
    }
    std::vector<uint8_t> picture(out.biSizeImage);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> position(0.0, 0.98);
    for (auto _ : state) {
        demuxer.SeekToPosition(position(random));
        pellix::VideoFrameRecord frame;
        if (!demuxer.ReadFrame(1, frame)) continue;
        in.biSizeImage = frame.size;
        benchmark::DoNotOptimize(platform::ICDecompress(codec, 0, &in, frame.data, &out, picture.data()));
    }
    platform::ICDecompressEnd(codec);
    platform::ICClose(codec);
}

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

BENCHMARK_CAPTURE(BM_PellixOpenAndIndex, cif, &Recording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PellixOpenFileApi, cif, &Recording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavformatOpen, cif, &Recording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PellixOpenAndIndex, h264_1080, &CameraRecording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PellixOpenFileApi, h264_1080, &CameraRecording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavformatOpen, h264_1080, &CameraRecording)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PellixSeekFirstPicture)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMicrosecond);

// Keeps the best-of-7 time of each benchmark and prints the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                best_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        for (const auto& [args, title] : {std::pair<std::string, const char*>{"cif", "CIF MPEG-4"},
                                          {"h264_1080", "1080p H.264"}}) {
            const auto index = best_.find("BM_PellixOpenAndIndex/" + args);
            const auto api = best_.find("BM_PellixOpenFileApi/" + args);
            const auto peer = best_.find("BM_LibavformatOpen/" + args);
            if (index == best_.end() || peer == best_.end()) continue;
            std::printf("\n30-minute %s recording with sound (best of 7):\n", title);
            std::printf("  AVI Demuxer open and index   %.2f ms\n", index->second);
            if (api != best_.end()) std::printf("  Pellix_OpenFile               %.2f ms\n", api->second);
            std::printf("  libavformat open + stream info %.2f ms\n", peer->second);
            std::printf("  ratio AVI Demuxer / libavformat = %.2f (goal <= 1)\n", index->second / peer->second);
            if (api != best_.end())
                std::printf("  ratio Pellix_OpenFile / libavformat = %.2f\n", api->second / peer->second);
        }
        const auto seek = best_.find("BM_PellixSeekFirstPicture");
        if (seek != best_.end())
            std::printf("Seek to a new position and decode the first picture: %.0f us (goal <= 1500)\n", seek->second);
    }

private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
