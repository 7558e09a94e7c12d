#include "common/TraceMessage.h"
#include "platform/TitledWindow.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The viewer program running with its standard output on a pipe.
class RunningViewer {
 public:
  RunningViewer() {
    int output[2];
    if (pipe(output) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(TRACE_VIEWER_PATH), nullptr};
    if (posix_spawn(&process_, TRACE_VIEWER_PATH, &actions, nullptr, argv, environ) != 0) {
      process_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    output_ = output[0];
  }
  ~RunningViewer() {
    if (process_ > 0) {
      kill(process_, SIGKILL);
      waitpid(process_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  bool Started() const { return process_ > 0; }

  // Reads standard output until it holds `lines` lines or 5 seconds passed.
  std::string ReadLines(int lines) {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::count(text_.begin(), text_.end(), '\n') < lines &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd wait{output_, POLLIN, 0};
      if (poll(&wait, 1, 100) <= 0) continue;
      char buffer[4096];
      ssize_t got = read(output_, buffer, sizeof buffer);
      if (got <= 0) break;
      text_.append(buffer, static_cast<std::size_t>(got));
    }
    return text_;
  }

  // Sends `signal` (0: none, only wait) and returns the exit code, or -1 when the viewer did
  // not end within 5 seconds.
  int Stop(int signal) {
    kill(process_, signal);
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (waitpid(process_, &status, WNOHANG) == process_) {
        process_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t process_ = -1;
  int output_ = -1;
  std::string text_;
};

bool WaitForViewerWindow() {
  for (int i = 0; i < 500; ++i) {
    if (platform::FindTitledWindow("ZarorArided ")) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TEST(TraceViewerTest, PrintsEveryLineItReceivesUntilInterrupted) {
  suite::test::TempFolder runtime("viewer");
  chmod(runtime.path().c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);

  RunningViewer viewer;
  ASSERT_TRUE(viewer.Started());
  ASSERT_TRUE(WaitForViewerWindow());

  // Only one viewer holds the title.
  RunningViewer second;
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Stop(0), 1) << "a second viewer must give up the title";

  EXPECT_EQ(TraceMessage("[KORVEL] - login %s:%d", "10.0.0.5", 8000), 1);
  // GBK text arrives as UTF-8 on the operator's terminal.
  EXPECT_EQ(TraceMessage("%s", "\xB4\xED\xCE\xF3"), 1);
  EXPECT_EQ(viewer.ReadLines(2), "[KORVEL] - login 10.0.0.5:8000\n\xE9\x94\x99\xE8\xAF\xAF\n");

  EXPECT_EQ(viewer.Stop(SIGINT), 0);
  EXPECT_FALSE(std::filesystem::exists(platform::TitledWindowSocketPath("ZarorArided ")));
  EXPECT_EQ(TraceMessage("after the viewer ended"), 0);
}

}  // namespace
