#include "tests/fault/FaultSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace fault_test {

namespace fs = std::filesystem;

bool PrivateMounts(std::string* why) {
  if (::unshare(CLONE_NEWNS) != 0) {
    *why = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    return false;
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *why = std::string("mount --make-rprivate /: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool MountSmallDisk(const std::string& host_folder, std::uint64_t bytes, std::string* why) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("faultdisk", host_folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    *why = std::string("mount tmpfs: ") + std::strerror(errno);
    return false;
  }
  return true;
}

void Unmount(const std::string& host_folder) { ::umount2(host_folder.c_str(), MNT_DETACH); }

CommandOutput Run(const std::string& command) {
  CommandOutput result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int ProbeVideoPackets(const std::string& host_file) {
  const CommandOutput probe = Run("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
                                  "stream=nb_read_packets -of csv=p=0 " + Quoted(host_file) + " 2>/dev/null");
  if (probe.status != 0 || probe.output.empty()) return -1;
  return std::atoi(probe.output.c_str());
}

std::vector<std::string> AviFilesBelow(const std::string& host_folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(host_folder, error); !error && it != fs::end(it);
       it.increment(error)) {
    if (it->is_regular_file() && it->path().extension() == ".avi") files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> IndexKeysBelow(const std::string& host_folder) {
  std::vector<std::string> keys;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(host_folder, error); !error && it != fs::end(it);
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!it->is_regular_file() || name.rfind("FileInfo", 0) != 0 || name == "FileInfo.ini") continue;
    std::ifstream in(it->path());
    std::string line;
    bool entries = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line.front() == '[') {
        entries = line == "[FileInfo]";
      } else if (entries && line.find('=') != std::string::npos) {
        keys.push_back(line.substr(0, line.find('=')));
      }
    }
  }
  return keys;
}

bool ReturnsWithin(std::chrono::milliseconds limit, std::function<void()> body) {
  struct State {
    std::mutex lock;
    std::condition_variable done_signal;
    bool done = false;
  };
  auto state = std::make_shared<State>();
  std::thread([state, body = std::move(body)] {
    body();
    std::lock_guard<std::mutex> guard(state->lock);
    state->done = true;
    state->done_signal.notify_all();
  }).detach();
  std::unique_lock<std::mutex> guard(state->lock);
  return state->done_signal.wait_for(guard, limit, [&] { return state->done; });
}

}  // namespace fault_test
