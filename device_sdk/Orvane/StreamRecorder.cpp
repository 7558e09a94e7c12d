#include "device_sdk/Orvane/StreamRecorder.h"

#include <sys/stat.h>

#include <ctime>

namespace orvane {

StreamRecorder::~StreamRecorder() { Stop(); }

void StreamRecorder::Start(const std::string& host_folder, int channel, uint64_t split_bytes) {
  Stop();
  folder_ = host_folder;
  channel_ = channel;
  split_bytes_ = split_bytes == 0 ? UINT64_MAX : split_bytes;
  active_ = true;
}

void StreamRecorder::Stop() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
  active_ = false;
}

bool StreamRecorder::OpenNext() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char name[64];
  std::snprintf(name, sizeof name, "CH%02d_%04d%02d%02d_%02d%02d%02d", channel_ + 1,
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec);
  // Two files begun within one second get a counter rather than overwriting each other.
  std::string base = folder_ + "/" + name;
  std::string path = base + ".m4v";
  struct stat st{};
  for (int n = 1; ::stat(path.c_str(), &st) == 0 && n < 1000; ++n)
    path = base + "_" + std::to_string(n) + ".m4v";
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    std::fprintf(stderr, "[ORVANE] cannot create recording %s\n", path.c_str());
    return false;
  }
  path_ = path;
  written_ = 0;
  return true;
}

bool StreamRecorder::Write(const uint8_t* data, size_t size, bool key) {
  if (!active_) return true;
  if (!file_ || (key && written_ >= split_bytes_)) {
    if (!key) return true;  // a file begins at a key frame
    if (!OpenNext()) {
      Stop();
      return false;
    }
  }
  if (std::fwrite(data, 1, size, file_) != size || std::fflush(file_) != 0) {
    std::fprintf(stderr, "[ORVANE] cannot write recording %s\n", path_.c_str());
    Stop();
    return false;
  }
  written_ += size;
  return true;
}

}  // namespace orvane
