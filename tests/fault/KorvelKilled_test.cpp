// The live client killed outright (SIGKILL) while it records a capture-card camera. The test
// runs its own binary a second time as the client: the real main dialog (offscreen) connects
// a window to alder_sim and records it until it is killed. The AVI file left behind must open
// in ffprobe and in the player engine, with the pictures written up to its last seconds.

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

#include <sys/wait.h>
#include <unistd.h>

#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/PageInfo.h"
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
  // The parent reads where the recording goes, then kills this process while it records.
  std::cout << "RECORDING " << drives_->Root('D') << std::endl;
  for (;;) QTest::qWait(100);
}

}  // namespace

TEST(KorvelKilled, TheRecordingLeftBehindPlaysInFfprobeAndThePlayerEngine) {
  testsupport::AlderSimProcess alder;
  ASSERT_TRUE(alder.Start({"--address", "127.0.0.163", "--port", "8000", "--user", "op", "--password", "pw",
                           "--channels", "1", "--fps", "25", "--size", "352x288", "--no-recordings"}));

  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[0]);
    ::setenv(kChildVariable, "127.0.0.163", 1);
    ::execl(self, self, "--gtest_filter=KorvelKilledChild.RecordsUntilKilled", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);

  // Wait for the client to say it records, then give it a few seconds of pictures.
  std::string said;
  std::string root;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  char buffer[4096];
  while (root.empty() && std::chrono::steady_clock::now() < end) {
    const ssize_t got = ::read(output[0], buffer, sizeof buffer);
    if (got <= 0) break;
    said.append(buffer, static_cast<std::size_t>(got));
    const std::size_t at = said.find("RECORDING ");
    const std::size_t line_end = at == std::string::npos ? at : said.find('\n', at);
    if (line_end != std::string::npos) root = said.substr(at + 10, line_end - at - 10);
  }
  if (root.empty()) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    FAIL() << "the client never started recording:\n" << said;
  }
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(output[0]);
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
