// Snapshot and sound work of the library beside the same work done by its peers in the same
// process, single-threaded, best of 7 repetitions in processor time:
//  - the snapshot colour conversion of a D1 picture (YV12 -> 4:2:2 -> bottom-up -> BGR) beside
//    libswscale's yuv420p -> bgr24 of the same picture, both with the vector instructions
//    this processor has, and the SSE4.1 way and the table walk alone beside the same peer;
//  - the quality-100 JPEG file of that picture beside libjpeg-turbo compressing the same BGR
//    picture alone into a file;
//  - DEC_DecodeAudio of 256-byte ADPCM blocks of encoded sound beside libavcodec's
//    adpcm_ima_wav, and the ADPCM decoder alone without the library's locks.
// A table of ratios (ours / peer, time; below 1 is faster) ends the run.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "decoder_library/ADPCMCodec.h"
#include "decoder_library/Halvane.h"
#include "decoder_library/SnapshotFile.h"
#include "decoder_library/SnapshotPicture.h"
#include "platform/codecs/Vfw.h"
#include "tests/platform/codecs/TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 704;
constexpr int kHeight = 576;
constexpr int kAudioBlocks = 512;

const std::vector<std::uint8_t>& D1Picture()
{
    static const std::vector<std::uint8_t> picture = [] {
        const auto stream = test_media::Encode("mpeg4", kWidth, kHeight, 1, 10, 0, 2);
        return test_media::ReferenceDecode("mpeg4", stream).front();
    }();
    return picture;
}

const halvane::SnapshotBitmap& D1Bitmap()
{
    static const halvane::SnapshotBitmap bitmap = [] {
        halvane::SnapshotBitmap made;
        halvane::MakeSnapshotBitmap(D1Picture().data(), kWidth, kHeight, made);
        return made;
    }();
    return bitmap;
}

// Sound as the recorders send it: two tones, a sweep and noise, encoded into 256-byte blocks
// by libavcodec's adpcm_ima_wav encoder.
const std::vector<std::uint8_t>& AdpcmBlocks()
{
    static const std::vector<std::uint8_t> blocks = [] {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV);
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->sample_rate = 8000;
        av_channel_layout_default(&context->ch_layout, 1);
        context->sample_fmt = codec->sample_fmts[0];
        av_opt_set_int(context->priv_data, "block_size", 256, 0);
        avcodec_open2(context, codec, nullptr);
        std::vector<std::uint8_t> made;
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        std::uint32_t noise = 1;
        for (int block = 0; block < kAudioBlocks; ++block) {
            frame->nb_samples = 505;
            frame->format = context->sample_fmt;
            av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
            av_frame_get_buffer(frame, 0);
            auto* samples = reinterpret_cast<std::int16_t*>(frame->data[0]);
            for (int i = 0; i < 505; ++i) {
                const double t = (block * 505 + i) / 8000.0;
                noise = noise * 1664525 + 1013904223;
                const double value = 9000 * std::sin(2 * M_PI * 440 * t) +
                                     5000 * std::sin(2 * M_PI * (200 + 300 * std::fmod(t, 4.0)) * t) +
                                     static_cast<int>(noise >> 21) - 1024;
                samples[i] = static_cast<std::int16_t>(value);
            }
            avcodec_send_frame(context, frame);
            while (avcodec_receive_packet(context, packet) == 0) {
                made.insert(made.end(), packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
            av_frame_unref(frame);
        }
        made.resize(static_cast<std::size_t>(kAudioBlocks) * 256);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
        return made;
    }();
    return blocks;
}

std::string TempFile(const char* name)
{
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr ? folder : "/tmp") + "/" + name;
}

void Convert(benchmark::State& state, halvane::ColourConversion way)
{
    const auto& picture = D1Picture();
    for (auto _ : state) {
        halvane::SnapshotBitmap bitmap;
        halvane::MakeSnapshotBitmap(picture.data(), kWidth, kHeight, bitmap, way);
        benchmark::DoNotOptimize(bitmap.bytes.data());
    }
}

// As a snapshot converts: the fastest way this processor has.
void ConvertWithHalvane(benchmark::State& state)
{
    Convert(state, halvane::ColourConversion::Automatic);
}

// The 128-bit way, the one of processors without AVX2.
void ConvertWithHalvaneSse41(benchmark::State& state)
{
    if (!halvane::ColourConversionAvailable(halvane::ColourConversion::Sse41)) {
        state.SkipWithError("no SSE4.1");
        return;
    }
    Convert(state, halvane::ColourConversion::Sse41);
}

// The table walk alone, the way of processors without vector instructions.
void ConvertWithHalvaneTables(benchmark::State& state)
{
    Convert(state, halvane::ColourConversion::Tables);
}

void ConvertWithSwscale(benchmark::State& state)
{
    const auto& picture = D1Picture();
    SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGR24,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    // YV12 keeps V before U.
    const std::uint8_t* planes[3] = {picture.data(), picture.data() + kWidth * kHeight * 5 / 4,
                                     picture.data() + kWidth * kHeight};
    const int strides[3] = {kWidth, kWidth / 2, kWidth / 2};
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint8_t* out[1] = {bgr.data()};
    const int outStride[1] = {kWidth * 3};
    for (auto _ : state) {
        sws_scale(context, planes, strides, 0, kHeight, out, outStride);
        benchmark::DoNotOptimize(bgr.data());
    }
    sws_freeContext(context);
}

void JpegWithHalvane(benchmark::State& state)
{
    const std::string path = TempFile("halvane_bench_ours.jpg");
    const auto& bitmap = D1Bitmap();
    for (auto _ : state)
        halvane::WriteJpegFile(path, bitmap, 100);
    std::remove(path.c_str());
}

void JpegWithLibjpegTurbo(benchmark::State& state)
{
    const std::string path = TempFile("halvane_bench_peer.jpg");
    const auto& bitmap = D1Bitmap();
    // The bitmap's rows bottom-up, handed over as they lie, blue-green-red.
    std::vector<JSAMPROW> rows(kHeight);
    for (int i = 0; i < kHeight; ++i)
        rows[i] = const_cast<JSAMPROW>(bitmap.Pixels() + static_cast<std::size_t>(kHeight - 1 - i) * kWidth * 3);
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = kWidth;
        info.image_height = kHeight;
        info.input_components = 3;
        info.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 100, TRUE);
        jpeg_start_compress(&info, TRUE);
        jpeg_write_scanlines(&info, rows.data(), kHeight);
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(file);
    }
    std::remove(path.c_str());
}

void AdpcmWithHalvane(benchmark::State& state)
{
    const auto& blocks = AdpcmBlocks();
    DEC_LoadLibrary();
    const int index = DEC_CreateVideoDecoder(0);
    std::vector<short> pcm(static_cast<std::size_t>(kAudioBlocks) * 505);
    for (auto _ : state) {
        // Block by block, as the recorders deliver them.
        for (int block = 0; block < kAudioBlocks; ++block)
            DEC_DecodeAudio(index, blocks.data() + block * 256, pcm.data() + block * 505, 256, nullptr, 0, 0);
        benchmark::DoNotOptimize(pcm.data());
    }
    DEC_DestroyVideoDecoder(index);
}

void AdpcmCodecAlone(benchmark::State& state)
{
    const auto& blocks = AdpcmBlocks();
    const ADPCMCodec codec;
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(kAudioBlocks) * 505);
    for (auto _ : state) {
        for (int block = 0; block < kAudioBlocks; ++block)
            codec.Decode(blocks.data() + block * 256, 256, pcm.data() + block * 505, 256);
        benchmark::DoNotOptimize(pcm.data());
    }
}

void AdpcmWithLibavcodec(benchmark::State& state)
{
    const auto& blocks = AdpcmBlocks();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = 256;
    context->bits_per_coded_sample = 4;
    avcodec_open2(context, codec, nullptr);
    std::vector<AVPacket*> packets;
    for (int block = 0; block < kAudioBlocks; ++block) {
        AVPacket* packet = av_packet_alloc();
        av_new_packet(packet, 256);
        std::memcpy(packet->data, blocks.data() + block * 256, 256);
        packets.push_back(packet);
    }
    AVFrame* frame = av_frame_alloc();
    for (auto _ : state) {
        for (AVPacket* packet : packets) {
            avcodec_send_packet(context, packet);
            if (avcodec_receive_frame(context, frame) >= 0)
                av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    for (AVPacket* packet : packets)
        av_packet_free(&packet);
    avcodec_free_context(&context);
}

double Best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

// Keeps the best processor time of every case for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "best")
                best_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double Best(const std::string& name) const
    {
        auto found = best_.find(name);
        return found == best_.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> best_;  // in the benchmark's unit
};

struct Pair {
    const char* what;
    const char* ours;
    const char* peer;
    double goal;  // highest acceptable ratio; 0: shown for comparison only
};
const Pair kPairs[] = {
    {"D1 colour conversion", "conversion/Halvane", "conversion/libswscale", 1.5},
    {"D1 conversion, SSE4.1", "conversion/Halvane-sse41", "conversion/libswscale", 0},
    {"D1 conversion, tables", "conversion/Halvane-tables", "conversion/libswscale", 0},
    {"D1 JPEG quality 100", "jpeg/Halvane", "jpeg/libjpeg-turbo", 1.1},
    {"ADPCM 512 blocks", "adpcm/DEC_DecodeAudio", "adpcm/libavcodec", 1.0},
    {"ADPCM, decoder alone", "adpcm/ADPCMCodec", "adpcm/libavcodec", 1.0},
};

}  // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_QUIET);
    D1Bitmap();
    const std::pair<const char*, void (*)(benchmark::State&)> cases[] = {
        {"conversion/Halvane", ConvertWithHalvane}, {"conversion/Halvane-sse41", ConvertWithHalvaneSse41},
        {"conversion/Halvane-tables", ConvertWithHalvaneTables},
        {"conversion/libswscale", ConvertWithSwscale},
        {"jpeg/Halvane", JpegWithHalvane},           {"jpeg/libjpeg-turbo", JpegWithLibjpegTurbo},
        {"adpcm/DEC_DecodeAudio", AdpcmWithHalvane}, {"adpcm/ADPCMCodec", AdpcmCodecAlone},
        {"adpcm/libavcodec", AdpcmWithLibavcodec},
    };
    for (const auto& [name, function] : cases)
        benchmark::RegisterBenchmark(name, function)
            ->Repetitions(7)
            ->MinTime(0.2)
            ->ComputeStatistics("best", Best)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-24s %12s %12s %8s %6s\n", "work", "Halvane us", "peer us", "ratio", "goal");
    for (const Pair& pair : kPairs) {
        const double ours = reporter.Best(pair.ours);
        const double peer = reporter.Best(pair.peer);
        std::printf("%-24s %12.1f %12.1f %8.2f ", pair.what, ours, peer, peer > 0 ? ours / peer : 0.0);
        if (pair.goal > 0)
            std::printf("%6.2f\n", pair.goal);
        else
            std::printf("%6s\n", "-");
    }
    DEC_FreeLibrary();
    return 0;
}
