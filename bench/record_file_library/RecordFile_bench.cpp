// Cost of recording: OxWriteFrameToAVIFile per chunk for a D1 stream with audio, beside
// libavformat's AVI muxer writing the same packets in the same process; and the cost of
// entering a recording into the index at its 1st and at its 5000th entry.
//
// Every figure is the best of 7 repetitions; the ratios are printed at the end.
// Run: build/bin/stordane_bench   (files go to $TMPDIR or /tmp)

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/AviDefs.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "record_file_library/RecordingIndex.h"
#include "record_file_library/Stordane.h"

namespace {

constexpr int kFps = 15;
constexpr int kSeconds = 60;
constexpr int kFrames = kFps * kSeconds;
constexpr int kSlot = 0;

struct Packet {
  bool audio = false;
  bool key = false;
  std::vector<unsigned char> data;
  std::int64_t pts = 0;  // frames for video, blocks for audio
};

// One minute of a D1 camera: a 60 KB key frame every second, 12-20 KB deltas, and IMA ADPCM
// blocks of 256 bytes as they fall due (about 15.8 a second).
const std::vector<Packet>& D1Packets() {
  static const std::vector<Packet> packets = [] {
    std::vector<Packet> out;
    std::uint32_t seed = 12345;
    int blocks = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
      seed = seed * 1103515245u + 12345u;
      Packet video;
      video.key = frame % kFps == 0;
      video.data.assign(video.key ? 60000 : 12000 + (seed >> 8) % 8000, static_cast<unsigned char>(frame));
      video.pts = frame;
      out.push_back(std::move(video));
      const int due = static_cast<int>((frame + 1) * (1000.0 / kFps) / 63.125);
      for (; blocks < due; ++blocks) {
        Packet audio;
        audio.audio = true;
        audio.data.assign(256, 0x11);
        audio.data[2] = 10;
        audio.pts = blocks;
        out.push_back(std::move(audio));
      }
    }
    return out;
  }();
  return packets;
}

std::string BenchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  static const std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/stordane-bench";
  return folder;
}

// Drive B stands for the bench folder so the library sees the usual recording layout.
void InstallDrive() {
  static bool done = false;
  if (done) return;
  std::filesystem::create_directories(BenchFolder());
  platform::DriveTable table;
  platform::DriveMapping drive;
  drive.letter = 'B';
  drive.root = BenchFolder();
  table.drives.push_back(drive);
  platform::SetDriveTable(table);
  done = true;
}

void BM_StordaneWriteChunk(benchmark::State& state) {
  InstallDrive();
  const auto& packets = D1Packets();
  const std::string folder = "B:\\video\\2012_03_04\\01\\08";
  platform::CreateFolderTree(folder);
  const std::string path = folder + "\\2012-03-04-080000 M101.avi";
  OxSetCapSize(kSlot, 704, 576);
  OxSetCapFrmRate(kSlot, kFps);
  OxSetCapCompression(kSlot, OX_COMPRESSION_XVID);
  for (auto _ : state) {
    state.PauseTiming();
    OxCreateAVIFile(kSlot, path.c_str());
    state.ResumeTiming();
    for (const Packet& p : packets) {
      const unsigned result = OxWriteFrameToAVIFile(kSlot, p.data.data(), static_cast<int>(p.data.size()),
                                                    p.audio ? 5 : (p.key ? 0 : 1));
      if (result != 0) state.SkipWithError("write failed");
    }
    state.PauseTiming();
    OxCloseAVIFile(kSlot);
    std::filesystem::remove_all(BenchFolder() + "/video/2012_03_04");
    platform::CreateFolderTree(folder);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(packets.size()));
}

struct AvMuxer {
  AVFormatContext* context = nullptr;
  AVStream* video = nullptr;
  AVStream* audio = nullptr;

  bool Open(const std::string& path) {
    if (avformat_alloc_output_context2(&context, nullptr, "avi", path.c_str()) < 0) return false;
    video = avformat_new_stream(context, nullptr);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = AV_CODEC_ID_MPEG4;
    video->codecpar->codec_tag = avi::kFccXvid;
    video->codecpar->width = 704;
    video->codecpar->height = 576;
    video->time_base = AVRational{1, kFps};
    audio = avformat_new_stream(context, nullptr);
    audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    audio->codecpar->codec_id = AV_CODEC_ID_ADPCM_IMA_WAV;
    audio->codecpar->sample_rate = 8000;
    av_channel_layout_default(&audio->codecpar->ch_layout, 1);
    audio->codecpar->block_align = 256;
    audio->codecpar->frame_size = 505;
    audio->codecpar->bits_per_coded_sample = 4;
    audio->time_base = AVRational{1, 8000};
    if (avio_open(&context->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    return avformat_write_header(context, nullptr) >= 0;
  }

  bool Write(const Packet& p, AVPacket* packet) {
    packet->data = const_cast<unsigned char*>(p.data.data());
    packet->size = static_cast<int>(p.data.size());
    packet->stream_index = p.audio ? 1 : 0;
    packet->flags = p.key || p.audio ? AV_PKT_FLAG_KEY : 0;
    packet->pts = packet->dts = p.audio ? av_rescale_q(p.pts * 505, AVRational{1, 8000}, audio->time_base) : av_rescale_q(p.pts, AVRational{1, kFps}, video->time_base);
    packet->duration = 0;
    return av_write_frame(context, packet) >= 0;
  }

  void Close() {
    if (!context) return;
    av_write_trailer(context);
    avio_closep(&context->pb);
    avformat_free_context(context);
    context = nullptr;
  }
};

void BM_LibavformatAviWriteChunk(benchmark::State& state) {
  const auto& packets = D1Packets();
  std::filesystem::create_directories(BenchFolder());
  const std::string path = BenchFolder() + "/peer.avi";
  AVPacket* packet = av_packet_alloc();
  for (auto _ : state) {
    state.PauseTiming();
    AvMuxer muxer;
    if (!muxer.Open(path)) state.SkipWithError("muxer did not open");
    state.ResumeTiming();
    for (const Packet& p : packets) {
      if (!muxer.Write(p, packet)) state.SkipWithError("write failed");
    }
    state.PauseTiming();
    muxer.Close();
    state.ResumeTiming();
  }
  av_packet_free(&packet);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(packets.size()));
}

// A recording large enough to be indexed, in the date folder `date`.
std::string IndexableFile(const std::string& date) {
  const std::string folder = "B:\\video\\" + date + "\\01\\10";
  platform::CreateFolderTree(folder);
  const std::string path = folder + "\\" + date.substr(0, 4) + "-" + date.substr(5, 2) + "-" + date.substr(8, 2) +
                           "-101500 M101.avi";
  std::ofstream(platform::ToHostPath(path), std::ios::binary) << std::string(30000, 'r');
  return path;
}

void BM_AddToFileInfoFirstEntry(benchmark::State& state) {
  InstallDrive();
  const std::string path = IndexableFile("2012_03_05");
  const std::string date_host = platform::ToHostPath("B:\\video\\2012_03_05");
  for (auto _ : state) {
    state.PauseTiming();
    stordane::RecordingIndex index;
    std::filesystem::remove(date_host + "/FileInfo.ini");
    std::filesystem::remove(date_host + "/FileInfo0.ini");
    state.ResumeTiming();
    index.AddToFileInfo(path, 1800);
  }
}

void BM_AddToFileInfo5000thEntry(benchmark::State& state) {
  InstallDrive();
  const std::string path = IndexableFile("2012_03_06");
  const std::string date_host = platform::ToHostPath("B:\\video\\2012_03_06");
  // 4999 entries of the same ten-minute slot: every entry after them stays in this index.
  std::string text = "[FileCount]\r\nnCount=4999\r\n[FileInfo]\r\n";
  for (int i = 0; i < 4999; ++i) {
    char key[160];
    std::snprintf(key, sizeof(key), "B:\\video\\2012_03_06\\%02d\\10\\2012-03-06-1015%02d M1%02d.avi\\%d=FI\r\n",
                  i % 24 + 1, i % 60, i % 24 + 1, i);
    text += key;
  }
  std::ofstream(date_host + "/FileInfo.ini", std::ios::binary) << "[FileCount]\r\nFileCount=1\r\n";
  std::ofstream(date_host + "/FileInfo0.ini", std::ios::binary) << text;
  stordane::RecordingIndex index;
  unsigned seconds = 0;
  for (auto _ : state) index.AddToFileInfo(path, ++seconds);
  state.counters["entries_at_end"] = platform::GetPrivateProfileInt(
      "FileCount", "nCount", 0, (date_host + "/FileInfo0.ini").c_str());
}

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

BENCHMARK(BM_StordaneWriteChunk)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibavformatAviWriteChunk)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddToFileInfoFirstEntry)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(BM_AddToFileInfo5000thEntry)->Repetitions(7)->ComputeStatistics("min", Min)->Unit(benchmark::kMicrosecond)->Iterations(20);

// Keeps the best-of-7 time of each benchmark and prints the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
        best_[run.run_name.function_name] = run.GetAdjustedRealTime();
        items_[run.run_name.function_name] = run.counters.count("items_per_second")
                                                  ? static_cast<double>(run.counters.at("items_per_second"))
                                                  : 0.0;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto ours = best_.find("BM_StordaneWriteChunk");
    const auto peer = best_.find("BM_LibavformatAviWriteChunk");
    const std::size_t chunks = D1Packets().size();
    if (ours != best_.end() && peer != best_.end()) {
      std::printf("\nD1 with audio, %zu chunks per file (best of 7):\n", chunks);
      std::printf("  Stordane    %.1f ns per chunk\n", ours->second * 1e6 / chunks);
      std::printf("  libavformat %.1f ns per chunk\n", peer->second * 1e6 / chunks);
      std::printf("  ratio Stordane / libavformat = %.2f (below 1 is faster)\n", ours->second / peer->second);
    }
    const auto first = best_.find("BM_AddToFileInfoFirstEntry");
    const auto late = best_.find("BM_AddToFileInfo5000thEntry");
    if (first != best_.end() && late != best_.end()) {
      std::printf("AddToFileInfo: 1st entry %.0f us, 5000th entry %.0f us, ratio %.2f (goal <= 3)\n",
                  first->second, late->second, late->second / first->second);
    }
  }

 private:
  std::map<std::string, double> best_;
  std::map<std::string, double> items_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(BenchFolder(), ignored);
  return 0;
}
