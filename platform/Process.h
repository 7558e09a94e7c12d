#pragma once

// Processes and single instances.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

// Results of StartProgram, with the values a WinExec caller compares against: anything above
// 31 is success.
inline constexpr int kStartOutOfResources = 0;
inline constexpr int kStartFileNotFound = 2;
inline constexpr int kStartPathNotFound = 3;
inline constexpr int kStartBadFormat = 11;
inline constexpr int kStartSucceeded = 33;

// Show modes of the command line's window (accepted for the shape of the call; a started
// program decides its own window).
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// Starts a program from a command line and returns at once (the caller does not wait).
// The command line is "\"<program>\" <arguments>" or "<program> <arguments>"; the program path
// may be in Windows form (mapped through the drive table) and may end in ".exe", which is
// dropped when only the name without it exists. Arguments are split at blanks, double quotes
// group. Returns kStartSucceeded or one of the codes above; `process_id` gets the new
// process's id on success. Any thread.
int StartProgram(std::string_view command_line, int show_mode = SW_SHOW,
                 int* process_id = nullptr);

// Waits up to `timeout` for a program started with StartProgram to end. True when it ended;
// `exit_code` gets its exit status (128 + signal number when killed by a signal). Every started
// program is reaped by the platform whether or not anyone waits.
bool WaitForProgram(int process_id, std::chrono::milliseconds timeout, int* exit_code = nullptr);

// Host path of the running executable (for a library: of the process that loaded it).
std::string ExecutablePath();

// A named single-instance lock: a lock file named after the mutex name in $XDG_RUNTIME_DIR
// (fallback /tmp/korvel-<uid>), held with flock for the lifetime of the object. The lock
// dies with the process, so a crashed instance never blocks the next start.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(std::string_view name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this object holds the lock.
  bool Held() const { return descriptor_ >= 0 && !already_exists_; }
  // True when another holder (another process, or another lock object of this one) has the
  // name: the "already exists" answer of a named mutex.
  bool AlreadyExists() const { return already_exists_; }
  // Lock file path, for diagnostics.
  const std::string& Path() const { return path_; }

 private:
  int descriptor_ = -1;
  bool already_exists_ = false;
  std::string path_;
};

// Turns a request to stop from outside (SIGTERM from the session or a service manager, SIGINT
// from Ctrl+C in a terminal, SIGHUP when the terminal goes) into the program's own orderly
// exit: `request` runs once, on a watcher thread of its own, with the signal's number, and the
// program ends as the operator's Exit would (recordings closed and indexed, settings saved).
// A second such signal ends the process at once, so a stuck exit can still be forced. Only one
// watch may exist at a time; destroying it puts the previous signal handling back.
class StopSignalWatch {
 public:
  explicit StopSignalWatch(std::function<void(int signal)> request);
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

  // False when the signals could not be watched (the process then keeps their defaults).
  bool Active() const { return watcher_.joinable(); }

 private:
  void Watch();

  std::function<void(int)> request_;
  int wake_[2] = {-1, -1};  // the watcher's pipe: a signal's number, or 0 to end the watch
  std::thread watcher_;
};

// Folder for the per-user runtime files of the platform (lock files, titled-window sockets):
// $XDG_RUNTIME_DIR when set and usable, otherwise /tmp/korvel-<uid> (created, mode 0700).
// Read from the environment on every call, so tests can point it elsewhere.
std::string RuntimeFolder();

}  // namespace platform
