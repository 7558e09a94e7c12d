#include "platform/Process.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// Writes an executable script that records its arguments, one per line, into `output`.
void WriteArgumentRecorder(const std::string& path, const std::string& output) {
  std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                      << output << "'\nexit 3\n";
  chmod(path.c_str(), 0755);
}

TEST(StartProgramTest, QuotedProgramPathWithArgumentsStartsWithoutWaiting) {
  suite::test::TempFolder folder("start");
  const std::string program = folder / "Lumaro";
  const std::string output = folder / "arguments.txt";
  WriteArgumentRecorder(program, output);

  int process_id = 0;
  // The ".exe" of a Windows command line is dropped when only the plain name exists.
  EXPECT_EQ(platform::StartProgram("\"" + program + ".exe\" -pri=4294967295 -s=0",
                                   platform::SW_SHOW, &process_id),
            platform::kStartSucceeded);
  ASSERT_GT(process_id, 0);
  int exit_code = -1;
  ASSERT_TRUE(platform::WaitForProgram(process_id, 10s, &exit_code));
  EXPECT_EQ(exit_code, 3);
  EXPECT_EQ(ReadFile(output), "-pri=4294967295\n-s=0\n");

  // Quotes group an argument with blanks; a trailing backslash is an ordinary character.
  ASSERT_EQ(platform::StartProgram(program + " \"C:\\My Videos\\\" plain", platform::SW_SHOW,
                                   &process_id),
            platform::kStartSucceeded);
  ASSERT_TRUE(platform::WaitForProgram(process_id, 10s));
  EXPECT_EQ(ReadFile(output), "C:\\My Videos\\\nplain\n");
}

TEST(StartProgramTest, WindowsFormPathGoesThroughTheDriveTable) {
  suite::test::TempDriveTable drives("CD");
  std::filesystem::create_directories(drives.Root('D') + "/Tools");
  const std::string output = drives.Root('D') + "/out.txt";
  WriteArgumentRecorder(drives.Root('D') + "/Tools/vav", output);
  int process_id = 0;
  ASSERT_EQ(platform::StartProgram("D:\\Tools\\vav.exe D:\\VIDEO\\", platform::SW_SHOW,
                                   &process_id),
            platform::kStartSucceeded);
  ASSERT_TRUE(platform::WaitForProgram(process_id, 10s));
  EXPECT_EQ(ReadFile(output), "D:\\VIDEO\\\n");
}

TEST(StartProgramTest, MissingProgramsReportWhyWithoutStartingAnything) {
  suite::test::TempFolder folder("start-missing");
  EXPECT_EQ(platform::StartProgram("\"" + folder / "absent" + "\" -x"), platform::kStartFileNotFound);
  EXPECT_EQ(platform::StartProgram(folder / "no/such/folder/app"), platform::kStartPathNotFound);
  EXPECT_EQ(platform::StartProgram(""), platform::kStartFileNotFound);
  EXPECT_EQ(platform::StartProgram("\"unterminated"), platform::kStartFileNotFound);
  std::ofstream(folder / "data.txt") << "not a program";
  EXPECT_LE(platform::StartProgram(folder / "data.txt"), 31);
}

class SingleInstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chmod(runtime_.path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  suite::test::TempFolder runtime_{"instance"};
};

TEST_F(SingleInstanceLockTest, SecondHolderSeesAlreadyExistsUntilTheFirstIsGone) {
  auto first = std::make_unique<platform::SingleInstanceLock>("Lumaro Instance");
  EXPECT_TRUE(first->Held());
  EXPECT_FALSE(first->AlreadyExists());
  EXPECT_EQ(first->Path().rfind(runtime_.path() + "/", 0), 0u);
  {
    platform::SingleInstanceLock second("Lumaro Instance");
    EXPECT_FALSE(second.Held());
    EXPECT_TRUE(second.AlreadyExists());
    platform::SingleInstanceLock other("Korvel Instance");
    EXPECT_TRUE(other.Held());
  }
  first.reset();
  platform::SingleInstanceLock third("Lumaro Instance");
  EXPECT_TRUE(third.Held());
}

TEST_F(SingleInstanceLockTest, ALockDiesWithItsProcess) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::SingleInstanceLock lock("crashing/instance");
    char held = lock.Held() ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1) _exit(2);
    pause();  // killed below while holding the lock
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  EXPECT_TRUE(platform::SingleInstanceLock("crashing/instance").AlreadyExists());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(platform::SingleInstanceLock("crashing/instance").Held());
  close(ready[0]);
  close(ready[1]);
}

std::atomic<int> g_earlier_handler_calls{0};
extern "C" void EarlierHandler(int) { ++g_earlier_handler_calls; }

TEST(StopSignalWatchTest, AStopSignalBecomesOneRequestAndTheEarlierHandlingReturnsAfterwards) {
  struct sigaction earlier {};
  earlier.sa_handler = EarlierHandler;
  sigemptyset(&earlier.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(sigaction(SIGTERM, &earlier, &saved), 0);
  {
    std::promise<int> requested;
    platform::StopSignalWatch watch([&](int signal) { requested.set_value(signal); });
    ASSERT_TRUE(watch.Active());
    // Only one watch at a time: a second one stays inactive and leaves the signals alone.
    platform::StopSignalWatch second([](int) {});
    EXPECT_FALSE(second.Active());

    ASSERT_EQ(raise(SIGTERM), 0);
    auto answer = requested.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answer.get(), SIGTERM);
    EXPECT_EQ(g_earlier_handler_calls.load(), 0);
  }
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(g_earlier_handler_calls.load(), 1);
  sigaction(SIGTERM, &saved, nullptr);
}

// The child of the next case, in a process of its own: the test program started again. A
// forked copy of this test process (threads of earlier tests may still run in it) must not
// start threads of its own, and the watch starts one.
constexpr char kSecondSignalChildReport[] = "STOP_SIGNAL_CHILD_REPORT";

TEST(StopSignalWatchTest, SecondSignalChild) {
  const char* report = std::getenv(kSecondSignalChildReport);
  if (report == nullptr) GTEST_SKIP() << "runs only as the child of ASecondSignalEndsTheProcessAtOnce";
  const int descriptor = std::atoi(report);
  // The request is answered but the program never gets round to ending.
  std::atomic<bool> asked{false};
  platform::StopSignalWatch watch([&](int signal) {
    const char byte = static_cast<char>(signal);
    (void)!write(descriptor, &byte, 1);
    asked = true;
  });
  raise(SIGINT);
  for (int i = 0; i < 500 && !asked; ++i) usleep(10000);
  raise(SIGINT);
  _exit(7);  // reached only when the second signal did not end the process
}

TEST(StopSignalWatchTest, ASecondSignalEndsTheProcessAtOnce) {
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  // Everything the child needs is made before the fork: after it, only exec.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string filter = "--gtest_filter=StopSignalWatchTest.SecondSignalChild";
  const std::string marker = std::string(kSecondSignalChildReport) + "=" + std::to_string(report[1]);
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.push_back(*entry);
  environment.push_back(const_cast<char*>(marker.c_str()));
  environment.push_back(nullptr);
  char* const arguments[] = {const_cast<char*>(self.c_str()), const_cast<char*>(filter.c_str()), nullptr};
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    execve(self.c_str(), arguments, environment.data());
    _exit(127);
  }
  close(report[1]);
  char byte = 0;
  EXPECT_EQ(read(report[0], &byte, 1), 1);
  EXPECT_EQ(byte, SIGINT);
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGINT);
}

}  // namespace
