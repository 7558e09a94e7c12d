#include "tests/live_client/core/KorvelDialogFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CRecordDlg.h"
#include "common/qt/SystemText.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"

namespace fs = std::filesystem;

namespace korvel_test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "korvel_gui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

void ResetClientTables() {
  for (CPageInfo& page : g_PageInfo) {
    for (CCameraInfo& slot : page.camera) {
      slot.ResetSaved();
      slot.hDvr = 0;
      slot.bTried = slot.bConnected = slot.bBusy = slot.nRecKind = 0;
      slot.bFmtSet = slot.bSchedOn = slot.nLostFlag = 0;
      slot.hDecoder = -1;
    }
  }
  g_LoginTable.clear();
  g_nCurWnd = g_nPrevWnd = -1;
  ClientRecordingTally().count = 0;
}

void KorvelDialogTest::SetUp() {
  App();
  drives_ = std::make_unique<suite::test::TempDriveTable>("CDE", 'C');
  disks_ = std::make_unique<suite::test::FakeDiskSpace>();
  disks_->Set('C', 900, 4000);
  disks_->Set('D', 2048, 8192);
  disks_->Set('E', 100, 1000);

  const char* build = std::getenv("SUITE_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  const fs::path program = fs::path(build) / "bin";
  fs::create_directories(ClientHost());
  fs::copy_file(program / "Setting.ini", fs::path(ClientHost()) / "Setting.ini");
  fs::copy(program / "Language", fs::path(ClientHost()) / "Language", fs::copy_options::recursive);
  fs::copy(program / "UI_Skin", fs::path(ClientHost()) / "UI_Skin", fs::copy_options::recursive);

  previousDisplay_ = platform::SetDisplayProvider(std::make_shared<FixedDisplay>(
      platform::DisplayMode{32, 1024, 768, 60}, std::vector<platform::DisplayMode>{}));
  platform::ResetMessageBoxes();
  g_nResolution = 1;
  ResetClientTables();
}

void KorvelDialogTest::TearDown() {
  dialog_.reset();
  platform::ResetMessageBoxes();
  platform::SetDisplayProvider(previousDisplay_);
  disks_.reset();
  drives_.reset();
}

QString KorvelDialogTest::English(const char* key) const {
  return FromSystemText(platform::ReadProfileString(
      ClientHost() + "/Language/Korvel/Language.English", "STC_STRING", key));
}

bool KorvelDialogTest::OpenDialog() {
  if (!dialog_) dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  if (!dialog_->OnInitDialog()) return false;
  dialog_->show();
  return QTest::qWaitForWindowExposed(dialog_.get());
}

void KorvelDialogTest::Click(const char* name) {
  QWidget* control = Control(name);
  ASSERT_NE(control, nullptr) << name;
  ASSERT_TRUE(control->isVisible()) << name;
  QTest::mouseClick(control, Qt::LeftButton);
}

std::vector<int> KorvelDialogTest::ShownWindows() const {
  std::vector<int> shown;
  for (int i = 0; i < 25; ++i)
    if (VideoWindow(i)->isVisible()) shown.push_back(i);
  return shown;
}

}  // namespace korvel_test
