// First half of the end-to-end run: the live client against the two simulated recorders, in
// the client folder the run script prepared (SUITE_E2E_FOLDER/client, drives from
// KORVEL_DRIVES). Four windows are connected, a capture-card window and a recorder window
// record by hand, the capture-card window then records by its timetable while an injected
// clock moves the hours, a snapshot is taken, and the client exits as the operator ends it,
// saving its configuration. The playback half (EndToEndLumaro_test) and the run script then
// check what was left on the drives.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/storage/WeekSchedule.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "tests/live_client/core/KorvelDialogFixture.h"
#include "tests/suite/EndToEnd.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

namespace fs = std::filesystem;
using namespace korvel;
using namespace korvel_test;
using namespace suite_e2e;

namespace {

struct PageTable {
  CPageInfo table[kPageCount];
};

// Windows of page 1 (0-based) and what they show.
constexpr int kDvrWindow = 0;        // recorder channel 1, records by hand
constexpr int kDvrWindow2 = 1;       // recorder channel 2
constexpr int kCardWindow = 2;       // capture-card channel 1: by hand, then by timetable
constexpr int kCardWindow2 = 3;      // capture-card channel 2: the snapshot

class EndToEndKorvel : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    const char* folder = std::getenv("SUITE_E2E_FOLDER");
    if (folder == nullptr) GTEST_SKIP() << "run by end_to_end_test.sh";
    client_ = std::string(folder) + "/client";
    previousDisplay_ = platform::SetDisplayProvider(std::make_shared<FixedDisplay>(
        platform::DisplayMode{32, 1024, 768, 60}, std::vector<platform::DisplayMode>{}));
    platform::ResetMessageBoxes();
    g_nResolution = 1;
    ResetClientTables();
  }
  void TearDown() override {
    dialog_.reset();
    dvr_.reset();
    alder_.reset();
    platform::ResetMessageBoxes();
    if (previousDisplay_) platform::SetDisplayProvider(previousDisplay_);
  }

  int TreeImage(int w) const {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    return tree->topLevelItem(0)->child(w)->data(0, Qt::UserRole + 1).toInt();
  }
  void Select(int w) {
    auto* tree = dialog_->findChild<QTreeWidget*>("TREE_CONFIG");
    tree->setCurrentItem(tree->topLevelItem(0)->child(w));
    ASSERT_TRUE(QTest::qWaitFor([&] { return g_nCurWnd == w; }, 2000)) << "window " << w << " not selected";
  }
  void Click(const char* name) {
    QWidget* control = dialog_->findChild<QWidget*>(QString::fromLatin1(name));
    ASSERT_NE(control, nullptr) << name;
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->isVisible() && control->isEnabled(); }, 10000))
        << name << " is not available";
    QTest::mouseClick(control, Qt::LeftButton);
  }
  int RecKind(int w) {
    std::lock_guard<platform::CriticalSection> guard(g_PageInfo[0].camera[w].lock);
    return g_PageInfo[0].camera[w].nRecKind;
  }

  std::string client_;
  std::shared_ptr<platform::DisplayProvider> previousDisplay_;
  std::unique_ptr<dvr_sim_test::DvrSimProcess> dvr_;
  std::unique_ptr<testsupport::AlderSimProcess> alder_;
  std::unique_ptr<CKorvelDlg> dialog_;
};

TEST_F(EndToEndKorvel, RecordsByHandAndByTimetableTakesASnapshotAndSavesItsConfiguration) {
  dvr_ = std::make_unique<dvr_sim_test::DvrSimProcess>();
  ASSERT_TRUE(dvr_->Start({"--listen", kDvrAddress, "--port", std::to_string(kDvrPort), "--kind", "0", "--user",
                           kUser, "--password", kPassword, "--size", "352x288"}));
  alder_ = std::make_unique<testsupport::AlderSimProcess>();
  ASSERT_TRUE(alder_->Start({"--address", kAlderAddress, "--port", std::to_string(kAlderPort), "--user", kUser,
                             "--password", kPassword, "--channels", "4", "--fps", "15", "--size", "352x288",
                             "--no-recordings"}));

  // The operator's configuration: two recorder channels and two capture-card channels.
  const struct {
    int window, kind, channel;
    const char* address;
    int port;
  } cameras[] = {{kDvrWindow, 0, 0, kDvrAddress, kDvrPort},
               {kDvrWindow2, 0, 1, kDvrAddress, kDvrPort},
               {kCardWindow, 3, 0, kAlderAddress, kAlderPort},
               {kCardWindow2, 3, 1, kAlderAddress, kAlderPort}};
  for (const auto& s : cameras) {
    CCameraInfo& slot = g_PageInfo[0].camera[s.window];
    slot.strAddr = s.address;
    slot.nPort = s.port;
    slot.nKind = s.kind;
    slot.nChannel = s.channel;
    slot.strUser = kUser;
    slot.strPassword = kPassword;
    slot.strCamDesc = "Camera " + std::to_string(s.window + 1);
    slot.strSvrDesc = s.kind == 3 ? "Card recorder" : "DVR";
  }
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  settings.m_nRecDriveMask = 2;  // drive D only
  settings.m_nFreeSpaceMB = 600;
  settings.m_strSnapPath = "C:\\Pic";
  const std::string folder = platform::ToWindowsPath(client_);
  ASSERT_TRUE(SaveConfigToFile(folder, g_PageInfo, settings));
  ResetClientTables();

  // The timetable's clock: the wall clock moved on by `shift` seconds.
  static std::atomic<std::time_t> shift{0};
  dialog_ = std::make_unique<CKorvelDlg>(folder);
  dialog_->SetLiveLink(std::make_shared<CKorvelLive>(*dialog_));
  dialog_->Recording().SetClock([] { return std::time(nullptr) + shift.load(); });
  ASSERT_TRUE(dialog_->OnInitDialog());
  dialog_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));

  // Connect the four windows as a double click in the camera tree does.
  for (const auto& s : cameras) dialog_->SignalCommand(s.window, ConnectCommand::Connect);
  for (const auto& s : cameras)
    ASSERT_TRUE(QTest::qWaitFor([&] { return TreeImage(s.window) == kTreeImageConnected; }, 30000))
        << "window " << s.window + 1 << " did not connect";

  // Record by hand for 20 seconds on a capture-card window and a recorder window.
  Select(kCardWindow);
  Click("BTN_RECORD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kCardWindow) == kRecordManual; }, 10000));
  Select(kDvrWindow);
  Click("BTN_RECORD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kDvrWindow) == kRecordManual; }, 10000));
  QTest::qWait(20000);
  Click("BTN_STOPRECORD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kDvrWindow) == kRecordNone; }, 10000));
  Select(kCardWindow);
  Click("BTN_STOPRECORD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kCardWindow) == kRecordNone; }, 10000));

  // The timetable: the present hour and the next on every day, armed as the schedule page's
  // apply does. The maintenance thread starts the recording within its next tick.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  ScheduleBytes week{};
  week[local.tm_hour] = 0x7F;
  week[(local.tm_hour + 1) % 24] = 0x7F;
  RecordingTally& tally = ClientRecordingTally();
  ASSERT_EQ(ApplyWindowSchedule(g_PageInfo[0].camera[kCardWindow], week, true, tally.lock, tally.count),
            ScheduleApplyResult::Armed);
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kCardWindow) == kRecordScheduled; }, 5000))
      << "the armed hour did not start a recording";
  QTest::qWait(20000);
  // Three hours on, outside the timetable: the recording stops by itself.
  shift = 3 * 3600;
  ASSERT_TRUE(QTest::qWaitFor([&] { return RecKind(kCardWindow) == kRecordNone; }, 5000))
      << "the end of the armed hours did not stop the recording";
  shift = 0;

  // A snapshot of the second capture-card window.
  Select(kCardWindow2);
  Click("BTN_SNAP");
  const fs::path snapshots = fs::path(platform::ToHostPath("C:\\Pic")) / kAlderAddress / "02";
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(snapshots, error))
          if (entry.path().extension() == ".JPG" && entry.file_size() > 1000) return true;
        return false;
      },
      10000))
      << "no snapshot in " << snapshots;

  // The operator ends the client and confirms; the configuration is saved as the client goes.
  platform::SetDefaultMessageBoxAnswer(platform::IDYES);
  dialog_->OnCancel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->isVisible(); }, 30000)) << "the client did not end";
  dialog_.reset();
  auto saved = std::make_unique<PageTable>();
  CKorvelSettings savedSettings;
  ASSERT_EQ(LoadConfigFile(folder, saved->table, savedSettings), 1);
  for (const auto& s : cameras) {
    EXPECT_EQ(saved->table[0].camera[s.window].strAddr, s.address);
    EXPECT_EQ(saved->table[0].camera[s.window].nChannel, s.channel);
  }
  EXPECT_EQ(savedSettings.m_strSnapPath, "C:\\Pic");
}

}  // namespace
