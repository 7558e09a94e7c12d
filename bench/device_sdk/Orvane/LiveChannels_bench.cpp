// Sixteen live CIF channels from the recorder simulator through the DVR SDK, as a sixteen-
// window page of the live client would take them: pictures per second and lateness per
// channel, and the processor time the SDK spends per channel and per picture. Beside it, the
// same pictures decoded by libavcodec alone in this process (recorded through the SDK first),
// so the ratio shows what the SDK adds to plain decoding: the network, the protocol, the
// queues and the copy into the caller's picture.
//
// The simulator repeats pre-encoded pictures (--loop), so its own cost stays small; it is
// measured too, from /proc, and reported apart.

#include <sys/resource.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "device_sdk/Orvane/Orvane.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAddress = "127.0.0.59";
constexpr unsigned short kPort = 8670;
constexpr int kChannels = 16;
constexpr auto kWarmUp = std::chrono::seconds(3);
constexpr auto kMeasure = std::chrono::seconds(10);

// Per-channel delivery record, written by the channel's SDK thread.
struct ChannelStats {
  std::mutex lock;
  int pictures = 0;
  int late = 0;  // gaps of more than three picture intervals (120 ms)
  Clock::time_point last{};
  bool counting = false;
};
ChannelStats g_stats[kChannels];

void OnPicture(ORVANE_FRAME* record, void* context) {
  auto* stats = static_cast<ChannelStats*>(context);
  const auto now = Clock::now();
  // Touch the picture as a renderer would, so the copy is not free.
  volatile unsigned sum = record->data[0] + record->data[record->size - 1];
  (void)sum;
  std::lock_guard<std::mutex> guard(stats->lock);
  if (stats->counting) {
    ++stats->pictures;
    if (stats->last != Clock::time_point{} && now - stats->last > std::chrono::milliseconds(120))
      ++stats->late;
  }
  stats->last = now;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time of another process from /proc/<pid>/stat (fields 14 and 15, clock ticks).
double ChildCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Processor seconds per picture for libavcodec decoding `path` (an MPEG-4 elementary
// stream) single-threaded, and the pictures decoded. The best of three passes counts.
double PeerDecodeSecondsPerPicture(const std::string& path, int& pictures) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return 0;
  avformat_find_stream_info(format, nullptr);
  std::vector<AVPacket*> packets;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    packets.push_back(av_packet_clone(packet));
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  double best = 0;
  for (int pass = 0; pass < 3; ++pass) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    int decoded = 0;
    const double start = ProcessCpuSeconds();
    for (AVPacket* p : packets) {
      if (avcodec_send_packet(context, p) < 0) continue;
      while (avcodec_receive_frame(context, frame) == 0) ++decoded;
    }
    const double spent = ProcessCpuSeconds() - start;
    av_frame_free(&frame);
    avcodec_free_context(&context);
    if (decoded > 0 && (best == 0 || spent / decoded < best)) best = spent / decoded;
    pictures = decoded;
  }
  for (AVPacket* p : packets) av_packet_free(&p);
  avformat_close_input(&format);
  return best;
}

std::string FirstFile(const std::string& folder, const char* suffix) {
  std::string found;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strstr(e->d_name, suffix)) found = folder + "/" + e->d_name;
    closedir(d);
  }
  return found;
}

void BM_SixteenLiveChannelsCif(benchmark::State& state) {
  suite::test::TempFolder folder("orvane_bench");
  dvr_sim_test::DvrSimProcess sim;
  if (!sim.Start({"--listen", kAddress, "--port", std::to_string(kPort), "--kind", "1", "--loop",
                  "4", "--catalogue", folder / "catalogue"},
                 std::chrono::seconds(60))) {
    state.SkipWithError("dvr_sim did not start");
    return;
  }
  ORVANE_startup();
  int handle = 0;
  unsigned int ip = dvr_sim_test::NetworkAddress(kAddress);
  ORVANE_createDVR(&handle, ip, kPort);
  ORVANE_LOGIN login{};
  std::memcpy(login.user, "admin", 5);
  if (ORVANE_loginServer(handle, &login) != ORVANE_OK) {
    state.SkipWithError("login failed");
    return;
  }
  for (int c = 0; c < kChannels; ++c) {
    ORVANE_setDecoderFMT(handle, c, ORVANE_FMT_YUV420);
    ORVANE_openVideoReciever(handle, c, 0, 0);
    ORVANE_startVideoSend(handle, c);
    ORVANE_createVideoDecoder(handle, c, OnPicture, &g_stats[c]);
  }
  // The peer's input: the same pictures, recorded through the SDK during the warm-up.
  const std::string recording = folder / "recording";
  ORVANE_startRecord(handle, 0, recording.c_str(), ORVANE_RECORD_SPLIT_BYTES);
  std::this_thread::sleep_for(kWarmUp);
  ORVANE_stopRecord(handle, 0);

  double client_cpu = 0, sim_cpu = 0, seconds = 0;
  for (auto _ : state) {
    for (auto& s : g_stats) {
      std::lock_guard<std::mutex> guard(s.lock);
      s.counting = true;
      s.pictures = s.late = 0;
    }
    const auto start = Clock::now();
    const double client_start = ProcessCpuSeconds(), sim_start = ChildCpuSeconds(sim.pid());
    std::this_thread::sleep_for(kMeasure);
    client_cpu = ProcessCpuSeconds() - client_start;
    sim_cpu = ChildCpuSeconds(sim.pid()) - sim_start;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& s : g_stats) {
      std::lock_guard<std::mutex> guard(s.lock);
      s.counting = false;
    }
  }
  int total = 0, min_pictures = 1 << 30, late = 0;
  for (auto& s : g_stats) {
    std::lock_guard<std::mutex> guard(s.lock);
    total += s.pictures;
    min_pictures = std::min(min_pictures, s.pictures);
    late += s.late;
  }
  ORVANE_destroyDVR(handle);
  ORVANE_cleanup();
  sim.Stop();

  int peer_pictures = 0;
  const double peer = PeerDecodeSecondsPerPicture(FirstFile(recording, ".m4v"), peer_pictures);
  const double sdk_per_picture = total ? client_cpu / total : 0;
  state.counters["fps_per_channel_min"] = min_pictures / seconds;
  state.counters["fps_all"] = total / seconds;
  state.counters["late_gaps"] = late;
  state.counters["sdk_cpu_pct_per_channel"] = 100.0 * client_cpu / seconds / kChannels;
  state.counters["sim_cpu_pct_per_channel"] = 100.0 * sim_cpu / seconds / kChannels;
  state.counters["sdk_us_per_picture"] = 1e6 * sdk_per_picture;
  state.counters["libavcodec_us_per_picture"] = 1e6 * peer;
  state.counters["sdk_over_libavcodec"] = peer > 0 ? sdk_per_picture / peer : 0;
  std::printf(
      "\n16 CIF channels for %.1f s: %.1f pictures/s per channel at least (25 wanted), %d gaps "
      "over 120 ms\nSDK: %.2f%% of one core per channel, %.0f us per picture; libavcodec alone "
      "(%d pictures): %.0f us per picture; ratio SDK / libavcodec = %.2f\nsimulator: %.2f%% of "
      "one core per channel\n",
      seconds, min_pictures / seconds, late, 100.0 * client_cpu / seconds / kChannels,
      1e6 * sdk_per_picture, peer_pictures, 1e6 * peer, peer > 0 ? sdk_per_picture / peer : 0,
      100.0 * sim_cpu / seconds / kChannels);
}

BENCHMARK(BM_SixteenLiveChannelsCif)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
