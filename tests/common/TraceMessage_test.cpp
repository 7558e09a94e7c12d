#include "common/TraceMessage.h"

#include "platform/TitledWindow.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using suite::test::TempFolder;

const std::string kViewerTitle = "ZarorArided ";
const std::string kFormatErrorText =
    "ZarorArided\xCA\xE4\xB3\xF6\xD7\xD6\xB7\xFB\xB4\xAE\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3!";
const std::regex kStampedLine(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Splits a log into its lines; each must end in "\r\n".
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "log does not end in CR LF: " << log.substr(start);
      break;
    }
    lines.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The text of a log line after its time stamp; fails when the stamp is missing.
std::string Unstamped(const std::string& line) {
  std::smatch match;
  if (!std::regex_search(line, match, kStampedLine, std::regex_constants::match_continuous)) {
    ADD_FAILURE() << "no time stamp: " << line;
    return line;
  }
  return line.substr(match.length());
}

// Leaves a socket file at `path` that nobody listens on, as a killed viewer does.
void MakeStaleSocket(const std::string& path) {
  int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(descriptor);
}

class TraceMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Private runtime folder: neither a viewer of the operator nor another test is seen.
    chmod(runtime_.path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    // The probe runs from a folder of its own, so its log and profile are this test's.
    probe_ = program_folder_ / "Lumaro";
    std::filesystem::copy_file(TRACE_PROBE_PATH, probe_);
    log_ = probe_ + ".log";
  }

  void TearDown() override { viewer_.Unregister(); }

  void StartViewer() {
    ASSERT_TRUE(viewer_.Register(
        kViewerTitle,
        [this](const std::string& text) {
          std::lock_guard<std::mutex> guard(lock_);
          received_.push_back(text);
        },
        nullptr));
  }

  void ClearReceived() {
    std::lock_guard<std::mutex> guard(lock_);
    received_.clear();
  }

  std::vector<std::string> Received() {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
  }

  // Runs the probe with `arguments` and returns the result it reports (-1 when it failed).
  int Probe(const std::string& arguments) {
    std::string command = "'" + probe_ + "' " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char output[256] = {};
    std::size_t read = std::fread(output, 1, sizeof output - 1, pipe);
    output[read] = '\0';
    int status = pclose(pipe);
    int result = -1;
    if (status != 0 || std::sscanf(output, "result=%d", &result) != 1) {
      ADD_FAILURE() << "probe failed: " << command << " -> " << output;
      return -1;
    }
    return result;
  }

  TempFolder runtime_{"trace-runtime"};
  TempFolder program_folder_{"trace-program"};
  std::string probe_;
  std::string log_;
  platform::TitledWindowServer viewer_;
  std::mutex lock_;
  std::vector<std::string> received_;  // Guarded by lock_
};

TEST_F(TraceMessageTest, FullMembersStampTheLogLineAndSendTheViewerTheBareText) {
  StartViewer();
  for (const char* member : {"STORDANE", "LUMARO"}) {
    SCOPED_TRACE(member);
    std::filesystem::remove(log_);
    ClearReceived();
    EXPECT_EQ(Probe(std::string(member) + " line 'hello world'"), 1);
    EXPECT_EQ(Received(), std::vector<std::string>{"hello world"});
    std::vector<std::string> lines = LogLines(ReadFile(log_));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Unstamped(lines[0]), "hello world");

    // A later run appends to the log it finds.
    EXPECT_EQ(Probe(std::string(member) + " line again 2"), 1);
    lines = LogLines(ReadFile(log_));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Unstamped(lines[2]), "again");
  }
}

TEST_F(TraceMessageTest, LogOverTheLimitStartsAnewAndOneAtTheLimitIsAppendedTo) {
  for (const char* member : {"STORDANE", "LUMARO"}) {
    SCOPED_TRACE(member);
    WriteFile(log_, std::string(102401, 'o'));
    EXPECT_EQ(Probe(std::string(member) + " line first"), 1);
    std::vector<std::string> lines = LogLines(ReadFile(log_));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Unstamped(lines[0]), "first");

    const std::string at_limit(102398, 'a');
    WriteFile(log_, at_limit + "\r\n");
    EXPECT_EQ(Probe(std::string(member) + " line kept"), 1);
    std::string log = ReadFile(log_);
    ASSERT_GT(log.size(), 102400u);
    EXPECT_EQ(log.substr(0, 102400), at_limit + "\r\n");
    lines = LogLines(log.substr(102400));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Unstamped(lines[0]), "kept");
  }
}

TEST_F(TraceMessageTest, DebugTraceOffInTheProfileSilencesOnlyTheProgramThatReadsIt) {
  StartViewer();
  WriteFile(program_folder_ / "Lumaro.ini", "[Settings]\r\nDebugTrace=0\r\n");
  EXPECT_EQ(Probe("LUMARO line silent 3"), 1);
  EXPECT_TRUE(Received().empty());
  EXPECT_FALSE(std::filesystem::exists(log_));

  // The record-file library has no switch: the same profile does not silence it.
  EXPECT_EQ(Probe("STORDANE line heard"), 1);
  EXPECT_EQ(Received(), std::vector<std::string>{"heard"});
  EXPECT_TRUE(std::filesystem::exists(log_));

  std::filesystem::remove(log_);
  WriteFile(program_folder_ / "Lumaro.ini", "[Settings]\r\nDebugTrace=1\r\n");
  EXPECT_EQ(Probe("LUMARO line on"), 1);
  EXPECT_EQ(Received().back(), "on");
  EXPECT_TRUE(std::filesystem::exists(log_));
}

TEST_F(TraceMessageTest, WithoutViewerFullMembersStillLogAndViewerOnlyMembersReturnAtOnce) {
  EXPECT_EQ(Probe("KORVEL line nobody"), 0);
  EXPECT_EQ(Probe("PELLIX line nobody"), 0);
  EXPECT_EQ(Probe("HALVANE line nobody"), 1);
  EXPECT_FALSE(std::filesystem::exists(log_)) << "a viewer-only member wrote a log file";

  EXPECT_EQ(Probe("STORDANE line logged"), 1);
  EXPECT_EQ(Probe("LUMARO line logged"), 1);
  std::vector<std::string> lines = LogLines(ReadFile(log_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Unstamped(lines[1]), "logged");

  // A socket left behind by a dead viewer is no viewer.
  MakeStaleSocket(platform::TitledWindowSocketPath(kViewerTitle));
  EXPECT_EQ(Probe("KORVEL line nobody"), 0);
}

TEST_F(TraceMessageTest, ViewerOnlyMembersSendToARunningViewerAndWriteNoFile) {
  StartViewer();
  EXPECT_EQ(Probe("KORVEL line from-korvel"), 1);
  EXPECT_EQ(Probe("PELLIX line from-pellix"), 1);
  EXPECT_EQ(Probe("HALVANE line from-halvane"), 1);
  EXPECT_EQ(Received(), (std::vector<std::string>{"from-korvel", "from-pellix", "from-halvane"}));
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(TraceMessageTest, FormatErrorGivesTheFixedTextInBothSinks) {
  StartViewer();
  EXPECT_EQ(Probe("STORDANE format-error"), 1);
  EXPECT_EQ(Probe("HALVANE format-error"), 1);
  EXPECT_EQ(Probe("KORVEL format-error"), 1);
  EXPECT_EQ(Received(),
            (std::vector<std::string>{kFormatErrorText, kFormatErrorText, kFormatErrorText}));
  std::vector<std::string> lines = LogLines(ReadFile(log_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Unstamped(lines[0]), kFormatErrorText);
}

TEST_F(TraceMessageTest, FixedBufferMemberCutsLongLinesWhereGrowableOnesKeepThem) {
  StartViewer();
  const std::string long_text(3000, 'x');
  EXPECT_EQ(Probe("HALVANE line " + long_text), 1);
  EXPECT_EQ(Probe("STORDANE line " + long_text), 1);
  std::vector<std::string> received = Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], std::string(1023, 'x'));
  EXPECT_EQ(received[1], long_text);
  std::vector<std::string> lines = LogLines(ReadFile(log_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Unstamped(lines[0]), long_text);
}

TEST_F(TraceMessageTest, ConcurrentFirstCallsGiveWholeLinesInBothSinks) {
  StartViewer();
  EXPECT_EQ(Probe("LUMARO threads 8 50"), 1);
  std::set<std::string> expected;
  for (int t = 0; t < 8; ++t) {
    for (int i = 0; i < 50; ++i) expected.insert("thread " + std::to_string(t) + " line " + std::to_string(i));
  }
  std::vector<std::string> received = Received();
  EXPECT_EQ(std::set<std::string>(received.begin(), received.end()), expected);
  EXPECT_EQ(received.size(), expected.size());
  std::vector<std::string> lines = LogLines(ReadFile(log_));
  ASSERT_EQ(lines.size(), expected.size());
  std::set<std::string> logged;
  for (const std::string& line : lines) logged.insert(Unstamped(line));
  EXPECT_EQ(logged, expected);
}

// The test binary carries the live client's member: one process across viewer restarts.
TEST_F(TraceMessageTest, AViewerStartedOrRestartedLaterIsFoundAgain) {
  EXPECT_EQ(TraceMessage("before %d", 1), 0);
  StartViewer();
  EXPECT_EQ(TraceMessage("first %d", 2), 1);
  viewer_.Unregister();
  EXPECT_EQ(TraceMessage("gone"), 0);
  StartViewer();
  EXPECT_EQ(TraceMessage("second %s", "run"), 1);
  EXPECT_EQ(Received(), (std::vector<std::string>{"first 2", "second run"}));
}

}  // namespace
