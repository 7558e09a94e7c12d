#include "tests/live_client/core/TraceCapture.h"

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace korvel_test {

TraceCapture::TraceCapture() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
    hadRuntime_ = true;
    previousRuntime_ = runtime;
  }
  folder_ = (std::filesystem::temp_directory_path() /
             ("korvel-trace-" + std::to_string(getpid())))
                .string();
  std::filesystem::create_directories(folder_);
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  registered_ = server_.Register(
      "ZarorArided ",
      [this](const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(text);
        changed_.notify_all();
      },
      nullptr);
}

TraceCapture::~TraceCapture() {
  server_.Unregister();
  if (hadRuntime_) setenv("XDG_RUNTIME_DIR", previousRuntime_.c_str(), 1);
  else unsetenv("XDG_RUNTIME_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

int TraceCapture::Count(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  int count = 0;
  for (const std::string& line : lines_)
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

std::vector<std::string> TraceCapture::Lines(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> found;
  for (const std::string& line : lines_)
    if (line.find(text) != std::string::npos) found.push_back(line);
  return found;
}

bool TraceCapture::WaitFor(const std::string& text, int count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Count(text) < count) {
    std::unique_lock<std::mutex> guard(lock_);
    if (changed_.wait_until(guard, deadline) == std::cv_status::timeout) {
      guard.unlock();
      return Count(text) >= count;
    }
  }
  return true;
}

void TraceCapture::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  lines_.clear();
}

}  // namespace korvel_test
