// A local search over one day of 24 channels x 48 recordings, kept on two drives, beside
// `grep -r` reading the same index files in the same run. The search reads the key lists of
// the index files, checks that each recording exists, measures its size and sorts each
// channel; grep only scans the index text. Each iteration starts with no parsed index kept in
// memory, as a search of a day not searched before does.
//
//   build/bin/lumaro_bench   (counter "vs_grep": search time / grep time)

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/Profile.h"
#include "playback_app/RecordSearch.h"
#include "tests/support/TempDriveTable.h"

namespace {

constexpr int kChannels = 24;
constexpr int kFilesPerChannel = 48;

// The day's recordings, half on D and half on E, indexed as the recording writer indexes them.
void MakeDay(const suite::test::TempDriveTable& drives) {
  for (char drive : {'D', 'E'}) {
    const std::string day = std::string(1, drive) + ":\\video\\2010_05_05";
    std::filesystem::create_directories(platform::ToHostPath(day));
    std::ofstream index(platform::ToHostPath(day + "\\FileInfo0.ini"), std::ios::binary);
    index << "[FileCount]\r\nnCount=" << kChannels * kFilesPerChannel / 2 << "\r\n[FileInfo]\r\n";
    for (int channel = 1; channel <= kChannels; ++channel)
      for (int file = drive == 'D' ? 0 : 1; file < kFilesPerChannel; file += 2) {
        char folder[128], name[64];
        const int hour = file / 2, minute = file % 2 * 30;
        std::snprintf(folder, sizeof folder, "%s\\%02d\\%02d", day.c_str(), channel, hour);
        std::snprintf(name, sizeof name, "2010-05-05-%02d%02d00 %c1%02d.avi", hour, minute, "MTA"[file % 3], channel);
        const std::string host = platform::ToHostPath(folder);
        std::filesystem::create_directories(host);
        std::ofstream(host + "/" + name) << std::string(1024, 'x');
        index << folder << "\\" << name << "\\1800=FI\r\n";
      }
    std::ofstream(platform::ToHostPath(day + "\\FileInfo.ini"), std::ios::binary) << "[FileCount]\r\nFileCount=1\r\n";
  }
  (void)drives;
}

double GrepSeconds(const suite::test::TempDriveTable& drives) {
  const std::string command = "grep -r -h --include='FileInfo*.ini' '\\.avi' '" + drives.Root('D') + "' '" +
                              drives.Root('E') + "' > /dev/null";
  std::vector<double> runs;
  for (int i = 0; i < 9; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

void LocalSearchDay(benchmark::State& state) {
  suite::test::TempDriveTable drives("CDE", 'C');
  MakeDay(drives);
  std::vector<int> channels;
  for (int channel = 1; channel <= kChannels; ++channel) channels.push_back(channel);
  lumaro::SearchRequest request;
  request.day = lumaro::SearchDay{2010, 5, 5};
  request.bListMode = !state.range(0);
  lumaro::IndexSearch search;
  std::array<lumaro::ChannelState, lumaro::kSearchChannels> states{};
  std::size_t found = 0;
  double seconds = 0;
  for (auto _ : state) {
    platform::ClearProfileCache();
    const auto start = std::chrono::steady_clock::now();
    search.Run(channels, {'D', 'E'}, request, states);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    found = 0;
    for (const auto& channel : states) found += channel.records.size();
    benchmark::DoNotOptimize(found);
  }
  if (found != static_cast<std::size_t>(kChannels * kFilesPerChannel)) state.SkipWithError("recordings missing");
  const double grep = GrepSeconds(drives);
  state.counters["recordings"] = static_cast<double>(found);
  state.counters["grep_ms"] = grep * 1000;
  if (grep > 0) state.counters["vs_grep"] = seconds / static_cast<double>(state.iterations()) / grep;
}
BENCHMARK(LocalSearchDay)->Arg(0)->Arg(1)->ArgName("time_mode")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
