// Cost of appending one key to an index section that already holds N - 1 keys, the work the
// recording writer does each time it closes a file. Each iteration starts from the same
// N - 1 keys (the appended key is removed again outside the timed part).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "platform/Profile.h"
#include "tests/support/TempFolder.h"

namespace {

std::string IndexKey(int n) {
  char key[160];
  std::snprintf(key, sizeof(key),
                "D:\\VIDEO\\10.0.0.5[SVR8000]\\2010_05_25\\chn_01\\%02d\\2010-05-25-%06d M101.avi\\1800",
                n % 24, n);
  return key;
}

void ProfileAppend(benchmark::State& state) {
  const int keys = static_cast<int>(state.range(0));
  suite::test::TempFolder folder("bench-profile");
  const std::string file = folder / "FileInfo0.ini";
  {
    std::ofstream out(file, std::ios::binary);
    out << "[FileCount]\r\nnCount=" << keys - 1 << "\r\n[FileInfo]\r\n";
    for (int i = 0; i < keys - 1; ++i) out << IndexKey(i) << "=FI\r\n";
  }
  // The writer has been appending to this file, so its parsed copy is warm.
  platform::ProfileKeyNames(file, "FileInfo");
  const std::string appended = IndexKey(keys - 1);
  for (auto _ : state) {
    if (!platform::WritePrivateProfileString("FileInfo", appended.c_str(), "FI", file.c_str())) {
      state.SkipWithError("write failed");
      break;
    }
    state.PauseTiming();
    platform::WritePrivateProfileString("FileInfo", appended.c_str(), nullptr, file.c_str());
    state.ResumeTiming();
  }
  state.counters["keys"] = keys;
}
BENCHMARK(ProfileAppend)->Arg(1)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// Console output plus the times per argument, for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        real_time_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  double Time(const std::string& name) const {
    auto it = real_time_.find(name);
    return it == real_time_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> real_time_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double first = reporter.Time("ProfileAppend/1/min_time:1.000");
  const double thousandth = reporter.Time("ProfileAppend/1000/min_time:1.000");
  const double last = reporter.Time("ProfileAppend/5000/min_time:1.000");
  if (first > 0 && last > 0) {
    std::printf("append of key 1: %.1f us, key 1000: %.1f us, key 5000: %.1f us\n", first, thousandth, last);
    std::printf("ratio 5000th append / 1st append: %.2f\n", last / first);
    // Each append commits the file to storage, so on a disk the figures include the device's
    // sync time; TMPDIR on a memory file system shows the cost of the profile code alone.
    const char* tmpdir = std::getenv("TMPDIR");
    std::printf("files written below %s (TMPDIR)\n", tmpdir != nullptr ? tmpdir : "/tmp");
  }
  benchmark::Shutdown();
  return 0;
}
