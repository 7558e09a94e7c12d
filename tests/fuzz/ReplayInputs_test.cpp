// Replays the kept inputs of one fuzz target (FUZZ_TARGET_NAME) without the fuzzing engine:
// the seeds make-seeds wrote into <build>/fuzz-seeds/<target>/ and the inputs of earlier
// findings in tests/fuzz/regressions/<target>/. A broken check in the target aborts the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  if (!fs::is_directory(folder, error)) return files;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void Replay(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
}

TEST(FuzzReplay, SeedInputs) {
  const fs::path folder = fs::path(Environment("SUITE_BUILD_DIR")) / "fuzz-seeds" / FUZZ_TARGET_NAME;
  const std::vector<fs::path> seeds = FilesIn(folder);
  ASSERT_FALSE(seeds.empty()) << "no seed inputs in " << folder << " (test fuzz_seeds makes them)";
  Replay(seeds);
}

TEST(FuzzReplay, EarlierFindings) {
  Replay(FilesIn(fs::path(Environment("SUITE_SOURCE_DIR")) / "tests" / "fuzz" / "regressions" /
                 FUZZ_TARGET_NAME));
}

}  // namespace
