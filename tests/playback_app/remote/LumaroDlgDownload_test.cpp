// A download from a Vantor device (alder_sim on loopback) as the operator follows it: the
// running download's name, its fixed label and percent show in every theme (the Blue themes
// have no bar, their labels alone tell), and nothing closes the program past a running
// download without asking: not Esc, not the close box, not a stop signal. Esc in full screen
// only leaves full screen.
#include <QCalendarWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "LumaroTestSupport.h"
#include "RemoteTestSupport.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/SkinControls.h"
#include "playback_app/remote/CVantorRemote.h"
#include "tests/support/TempDriveTable.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

namespace lumaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(LumaroDlgDownload, TheRunningDownloadIsShownByNameAndAskedAboutWhateverClosesTheProgram) {
  lumaro_test::DialogSurroundings surroundings;
  suite::test::TempDriveTable drives("CD", 'C');
  const fs::path recordings = fs::path(drives.Root('D')) / "rec";
  fs::create_directories(recordings / "2010");
  const fs::path source = fs::path(drives.folder()) / "source.avi";
  const fs::path file = recordings / "2010" / "2010-05-25-100000 M101.avi";
  ASSERT_TRUE(lumaro_test::MakeDeviceRecording(source.string(), platform::ToWindowsPath(file.string()), 13));

  testsupport::AlderSimProcess sim;
  // Delivery paced over about twelve seconds: the download runs while the test closes.
  const auto size = fs::file_size(file);
  ASSERT_TRUE(sim.Start({"--address", "127.0.0.233", "--port", "8000", "--no-live", "--recordings",
                         recordings.string(), "--pace", std::to_string(size / 12)}));

  lumaro_test::ProgramFolder folder("Blue");
  CLumaroDlg dialog(0, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 25));
  dialog.SetChannelSelected(1, true);
  dialog.SetRecordSetRunner([&](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_DEVICE_TYPE")->setCurrentIndex(3);
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("127.0.0.233");
    set.findChild<QLineEdit*>("EDIT_PORT")->setText("8000");
    set.accept();
    return set.result();
  });
  auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULTREMOTE");
  QMetaObject::invokeMethod(dialog.findChild<QWidget*>("BTN_SEARCH"), "click");
  ASSERT_TRUE(lumaro_test::PumpUntil([&] { return list->topLevelItemCount() > 0; }));

  auto* name = dialog.findChild<CColorStatic*>("STC_FILENAME");
  auto* fixed = dialog.findChild<CColorStatic*>("STC_DF");
  auto* percent = dialog.findChild<QLabel*>("STC_DOWNPERCENT");
  EXPECT_FALSE(name->isVisible());
  list->topLevelItem(0)->setSelected(true);
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  dialog.DownloadSelectedRemoteRows();
  ASSERT_TRUE(lumaro_test::PumpUntil([&] { return dialog.VantorRemote()->Progress().visible; }, 10s));
  EXPECT_TRUE(name->isVisible());
  EXPECT_EQ(name->Text().toStdString(), "2010-05-25-100000 M101.avi");
  EXPECT_TRUE(fixed->isVisible());
  EXPECT_EQ(fixed->Text().toStdString(), "Downloading");
  EXPECT_TRUE(percent->isVisible());
  EXPECT_FALSE(dialog.findChild<QProgressBar*>("PGS_DOWNFILE")->isVisible());  // no bar in Blue
  if (const char* shots = std::getenv("LUMARO_THEME_SHOTS"))
    dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/lumaro-theme-Blue-download.png"));

  const std::string question = "A download is still running. Exit anyway?";
  auto asked = [&] {
    const auto& boxes = platform::ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().text;
  };
  // Esc in full screen leaves full screen and asks nothing.
  platform::ResetMessageBoxes();
  dialog.SetFullScreen(true);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.IsFullScreen());
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  // Esc, the close box and a stop signal each ask; No keeps the program and its download.
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(asked(), question);
  EXPECT_TRUE(dialog.isVisible());
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  EXPECT_FALSE(dialog.close());
  EXPECT_EQ(asked(), question);
  EXPECT_TRUE(dialog.isVisible());
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  dialog.RequestStop(15);
  ASSERT_TRUE(lumaro_test::PumpUntil([&] { return !platform::ShownMessageBoxes().empty(); }));
  EXPECT_EQ(asked(), question);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_FALSE(dialog.VantorRemote()->CurrentDownload().empty());
  // Yes lets it go.
  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(asked(), question);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  sim.Stop();
}

}  // namespace
}  // namespace lumaro
