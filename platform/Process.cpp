#include "platform/Process.h"

#include "platform/Paths.h"
#include "platform/RuntimeFiles.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <mutex>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// Exit codes of started programs, filled by their reaper threads.
struct Reaped {
  std::mutex lock;
  std::condition_variable changed;
  std::map<int, int> exit_codes;  // Guarded by lock
};

Reaped& TheReaped() {
  static Reaped* reaped = new Reaped;
  return *reaped;
}

void Reap(int process_id) {
  int status = 0;
  int exit_code = -1;
  while (waitpid(process_id, &status, 0) < 0) {
    if (errno != EINTR) break;
  }
  if (WIFEXITED(status)) exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) exit_code = 128 + WTERMSIG(status);
  Reaped& reaped = TheReaped();
  std::lock_guard<std::mutex> guard(reaped.lock);
  reaped.exit_codes[process_id] = exit_code;
  reaped.changed.notify_all();
}

// Splits the arguments after the program: blanks separate, double quotes group (and are
// dropped), backslashes are ordinary characters, since folders passed on command lines end in
// one ("-pri=D:\VIDEO\").
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_argument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_argument) arguments.push_back(std::move(current));
      current.clear();
      in_argument = false;
    } else {
      current += c;
      in_argument = true;
    }
  }
  if (in_argument) arguments.push_back(std::move(current));
  return arguments;
}

bool LooksLikeWindowsPath(const std::string& path) {
  return path.find('\\') != std::string::npos ||
         (path.size() >= 2 && path[1] == ':' &&
          ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')));
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int StartProgram(std::string_view command_line, int /*show_mode*/, int* process_id) {
  std::size_t position = command_line.find_first_not_of(" \t");
  if (position == std::string_view::npos) return kStartFileNotFound;
  command_line.remove_prefix(position);
  std::string program;
  if (command_line.front() == '"') {
    std::size_t end = command_line.find('"', 1);
    if (end == std::string_view::npos) return kStartFileNotFound;
    program.assign(command_line.substr(1, end - 1));
    command_line.remove_prefix(end + 1);
  } else {
    std::size_t end = command_line.find_first_of(" \t");
    program.assign(command_line.substr(0, end));
    command_line.remove_prefix(end == std::string_view::npos ? command_line.size() : end);
  }
  if (program.empty()) return kStartFileNotFound;

  std::string host = LooksLikeWindowsPath(program) ? ToHostPath(program) : program;
  if (!IsRegularFile(host) && host.size() > 4) {
    std::string tail = host.substr(host.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".exe" && IsRegularFile(host.substr(0, host.size() - 4))) {
      host.resize(host.size() - 4);
    }
  }
  if (!IsRegularFile(host)) {
    std::size_t slash = host.rfind('/');
    struct stat info {};
    bool folder_exists = slash == std::string::npos ||
                         (stat(host.substr(0, slash + 1).c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    return folder_exists ? kStartFileNotFound : kStartPathNotFound;
  }
  if (access(host.c_str(), X_OK) != 0) return kStartBadFormat;

  std::vector<std::string> arguments = SplitArguments(command_line);
  std::vector<char*> argv;
  argv.push_back(host.data());
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  int error = posix_spawn(&child, host.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) return error == ENOEXEC ? kStartBadFormat : kStartOutOfResources;
  // The caller does not wait for the program; a reaper does, so it leaves no zombie behind.
  try {
    std::thread(Reap, static_cast<int>(child)).detach();
  } catch (...) {
    // Without a thread the child is still running; it becomes a zombie when it ends, which is
    // harmless next to failing a start that happened.
  }
  if (process_id) *process_id = static_cast<int>(child);
  return kStartSucceeded;
}

bool WaitForProgram(int process_id, std::chrono::milliseconds timeout, int* exit_code) {
  Reaped& reaped = TheReaped();
  std::unique_lock<std::mutex> lock(reaped.lock);
  bool ended = reaped.changed.wait_for(lock, timeout,
                                       [&] { return reaped.exit_codes.count(process_id) > 0; });
  if (ended && exit_code) *exit_code = reaped.exit_codes[process_id];
  return ended;
}

std::string ExecutablePath() {
  std::string path(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  return path;
}

SingleInstanceLock::SingleInstanceLock(std::string_view name)
    : path_(runtime_files::PathFor("instance-", name, ".lock")) {
  if (path_.empty()) return;
  descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor_ < 0) return;
  while (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) already_exists_ = true;
    close(descriptor_);
    descriptor_ = -1;
    break;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  // The file stays: removing it would let a later holder lock a new file while an older one
  // still holds the removed one.
  if (descriptor_ >= 0) close(descriptor_);
}

// --- Stop signals ---------------------------------------------------------------------------

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Read by the signal handler: only lock-free atomics and plain descriptors are safe there.
std::atomic<int> g_stop_pipe{-1};
std::atomic<int> g_stop_count{0};
struct sigaction g_previous[std::size(kStopSignals)];

extern "C" void OnStopSignal(int signal) {
  if (g_stop_count.fetch_add(1) > 0) {
    // Asked twice: the orderly exit is not wanted or is stuck, so end now.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  const int descriptor = g_stop_pipe.load();
  if (descriptor >= 0) (void)!::write(descriptor, &number, 1);
  errno = saved;
}

}  // namespace

StopSignalWatch::StopSignalWatch(std::function<void(int)> request) : request_(std::move(request)) {
  if (g_stop_pipe.load() >= 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
    wake_[0] = wake_[1] = -1;
    return;
  }
  g_stop_count = 0;
  g_stop_pipe = wake_[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &g_previous[i]);
  watcher_ = std::thread([this] { Watch(); });
}

StopSignalWatch::~StopSignalWatch() {
  if (wake_[1] < 0) return;
  for (size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &g_previous[i], nullptr);
  g_stop_pipe = -1;
  const unsigned char end = 0;
  (void)!::write(wake_[1], &end, 1);
  if (watcher_.joinable()) watcher_.join();
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void StopSignalWatch::Watch() {
  for (;;) {
    unsigned char number = 0;
    const ssize_t got = ::read(wake_[0], &number, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got != 1 || number == 0) return;
    if (request_) request_(number);
  }
}

}  // namespace platform
