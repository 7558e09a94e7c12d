// The live client stopped from outside while it records a capture-card camera. The test runs
// its own binary a second time as the client: the real main dialog (offscreen) connects a
// window to alder_sim and records it until it is stopped.
// - Killed outright (SIGKILL): the AVI file left behind must open in ffprobe and in the player
//   engine, with the pictures written up to its last seconds.
// - Asked to stop (SIGTERM, as a session or service manager does): the client exits as on a
//   confirmed Exit, so the recording is finished, indexed, and the settings are saved.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/PageInfo.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "tests/fault/FaultSupport.h"
#include "tests/live_client/core/KorvelDialogFixture.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

namespace fs = std::filesystem;
using namespace korvel;

namespace {

constexpr const char* kChildVariable = "FAULT_KORVEL_CHILD";

class KorvelKilledChild : public korvel_test::KorvelDialogTest {
 protected:
  QTreeWidgetItem* TreeItem(int w) const {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    return tree ? tree->topLevelItem(0)->child(w) : nullptr;
  }
  bool WaitIdle(int w) {
    return QTest::qWaitFor(
        [&] { return platform::WaitForOne(dialog_->IdleEvent(w), 0) == platform::WAIT_OBJECT_0; }, 15000);
  }
};

// The client's side: records window 0 until it is killed. Runs only inside the parent test.
TEST_F(KorvelKilledChild, RecordsUntilKilled) {
  const char* alder = std::getenv(kChildVariable);
  if (alder == nullptr) GTEST_SKIP() << "runs only as the recording client of KorvelKilled";
  CCameraInfo& slot = g_PageInfo[0].camera[0];
  slot.strAddr = alder;
  slot.nPort = 8000;
  slot.nKind = kKindAlder;
  slot.nChannel = 0;
  slot.strUser = "op";
  slot.strPassword = "pw";
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  settings.m_nRecDriveMask = 3;
  ASSERT_TRUE(SaveConfigToFile(ClientWindows(), g_PageInfo, settings));
  korvel_test::ResetClientTables();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(std::make_shared<CKorvelLive>(*dialog_));
  dialog_->SetMaintenanceThreadFactory({});
  ASSERT_TRUE(OpenDialog());

  auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
  emit tree->itemDoubleClicked(TreeItem(0), 0);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return TreeItem(0)->data(0, Qt::UserRole + 1).toInt() == kTreeImageConnected; }, 15000));
  ASSERT_TRUE(WaitIdle(0));
  tree->setCurrentItem(TreeItem(0));
  QWidget* record = Control("BTN_RECORD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return record->isVisible() && record->isEnabled(); }, 10000));
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(WaitIdle(0));
  // The parent reads where the recording goes, then stops this process while it records.
  // Stop signals reach the dialog as in the program itself.
  platform::StopSignalWatch stop([this](int signal) { dialog_->RequestStop(signal); });
  std::cout << "RECORDING " << drives_->Root('D') << std::endl;
  while (dialog_->isVisible()) QTest::qWait(100);
  // The dialog ended by itself: its teardown saves the settings.
  dialog_.reset();
  std::cout << "ENDED" << std::endl;
  // The drives stay for the parent to examine; it ends this process when done.
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Starts this binary as the recording client against alder_sim at `address`; returns its pid
// and the host folder of its drive D once it records (empty when it never did).
struct RecordingClient {
  pid_t pid = -1;
  int output = -1;
  std::string root;
  std::string said;
};

RecordingClient StartRecordingClient(const char* address) {
  RecordingClient client;
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return client;
  self[length] = '\0';
  int output[2];
  if (::pipe(output) != 0) return client;
  client.pid = ::fork();
  if (client.pid == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[0]);
    ::setenv(kChildVariable, address, 1);
    ::execl(self, self, "--gtest_filter=KorvelKilledChild.RecordsUntilKilled", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  client.output = output[0];
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  char buffer[4096];
  while (client.root.empty() && std::chrono::steady_clock::now() < end) {
    const ssize_t got = ::read(client.output, buffer, sizeof buffer);
    if (got <= 0) break;
    client.said.append(buffer, static_cast<std::size_t>(got));
    const std::size_t at = client.said.find("RECORDING ");
    const std::size_t line_end = at == std::string::npos ? at : client.said.find('\n', at);
    if (line_end != std::string::npos) client.root = client.said.substr(at + 10, line_end - at - 10);
  }
  return client;
}

// Reads the client's output until it says `line` or `limit` passes; true when it said it.
bool WaitForLine(RecordingClient& client, const std::string& line, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  char buffer[4096];
  while (client.said.find(line) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiter{client.output, POLLIN, 0};
    if (::poll(&waiter, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t got = ::read(client.output, buffer, sizeof buffer);
    if (got <= 0) return false;
    client.said.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

// Starts alder_sim with one camera at `address`, then the client recording it. False with the
// reason when either did not come up (a client that never recorded is ended).
bool StartRecording(const char* address, testsupport::AlderSimProcess& alder, RecordingClient& client,
                    std::string* why) {
  if (!alder.Start({"--address", address, "--port", "8000", "--user", "op", "--password", "pw", "--channels",
                    "1", "--fps", "25", "--size", "352x288", "--no-recordings"})) {
    *why = "alder_sim did not start";
    return false;
  }
  client = StartRecordingClient(address);
  if (client.pid <= 0) {
    *why = "the client could not be started";
    return false;
  }
  if (client.root.empty()) {
    ::kill(client.pid, SIGKILL);
    ::waitpid(client.pid, nullptr, 0);
    ::close(client.output);
    *why = "the client never started recording:\n" + client.said;
    return false;
  }
  return true;
}

}  // namespace

TEST(KorvelKilled, TheRecordingLeftBehindPlaysInFfprobeAndThePlayerEngine) {
  testsupport::AlderSimProcess alder;
  RecordingClient client;
  std::string why;
  ASSERT_TRUE(StartRecording("127.0.0.163", alder, client, &why)) << why;
  const pid_t child = client.pid;
  const std::string root = client.root;
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(client.output);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  const std::vector<std::string> files = fault_test::AviFilesBelow(root);
  ASSERT_EQ(files.size(), 1u) << "one recording was running";
  const std::string& file = files[0];
  // ffprobe reads the pictures of the last seconds (25 a second; the file is finished only
  // up to its last flushed part).
  EXPECT_GT(fault_test::ProbeVideoPackets(file), 25) << file;
  // The player engine opens it and knows its pictures.
  ASSERT_EQ(Pellix_OpenFile(5, file.c_str()), 1) << "Pellix refused the file left behind";
  EXPECT_GT(Pellix_GetFileTotalFrames(5), 25u);
  int width = 0, height = 0;
  void* window = PlatformCreateMemoryWindow(352, 288);
  EXPECT_EQ(Pellix_Play(5, window), 1);
  const auto played = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (PlatformWindowPresentCount(window) < 5 && std::chrono::steady_clock::now() < played)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(PlatformWindowPresentCount(window), 5u) << "no pictures played from the file left behind";
  EXPECT_EQ(Pellix_GetPictureSize(5, &width, &height), 1);
  EXPECT_EQ(width, 352);
  Pellix_Stop(5);
  Pellix_CloseFile(5);
  PlatformDestroyWindow(window);
  // The killed client's temporary drives: its client folder lies beside drive D.
  fs::remove_all(fs::path(root).parent_path());
}

TEST(KorvelKilled, AStopSignalFinishesAndIndexesTheRecordingAndSavesTheSettings) {
  testsupport::AlderSimProcess alder;
  RecordingClient client;
  std::string why;
  ASSERT_TRUE(StartRecording("127.0.0.164", alder, client, &why)) << why;
  const fs::path config = fs::path(client.root).parent_path() / "C" / "Korvel" / "Korvel.cfg";
  std::error_code error;
  const auto saved_before = fs::last_write_time(config, error);
  ASSERT_FALSE(error) << config;
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_EQ(::kill(client.pid, SIGTERM), 0);

  // The dialog ends by itself, within the exit wait's bounds, and was not ended by the signal.
  const bool ended = WaitForLine(client, "ENDED", std::chrono::seconds(30));
  int status = 0;
  const bool alive = ::waitpid(client.pid, &status, WNOHANG) == 0;
  ::kill(client.pid, SIGKILL);
  ::waitpid(client.pid, nullptr, 0);
  ::close(client.output);
  ASSERT_TRUE(alive) << "SIGTERM ended the client instead of its exit";
  ASSERT_TRUE(ended) << "the client's dialog did not end after SIGTERM:\n" << client.said;

  // The recording was finished and indexed: the index names exactly the file on the drive.
  const std::vector<std::string> files = fault_test::AviFilesBelow(client.root);
  ASSERT_EQ(files.size(), 1u) << "one recording was running";
  EXPECT_GT(fault_test::ProbeVideoPackets(files[0]), 25) << files[0];
  const std::vector<std::string> keys = fault_test::IndexKeysBelow(client.root);
  ASSERT_EQ(keys.size(), 1u) << "the finished recording is indexed once";
  const std::string name = fs::path(files[0]).filename().string();
  EXPECT_NE(keys[0].find(name), std::string::npos) << keys[0] << " does not name " << name;
  // The settings were saved on the way out.
  EXPECT_GT(fs::last_write_time(config, error), saved_before) << config;
  fs::remove_all(fs::path(client.root).parent_path());
}
