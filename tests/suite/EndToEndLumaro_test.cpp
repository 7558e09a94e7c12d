// Second half of the end-to-end run: the playback program in client mode, as the live
// client's playback button starts it, on the client folder and drives the first half
// (EndToEndKorvel_test) recorded into. It finds the capture-card channel's recordings of the
// day, plays the first to its end with pictures, and the channel's next recording follows.

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "LumaroTestSupport.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/VideoPlayerWnd.h"
#include "tests/suite/EndToEnd.h"

namespace fs = std::filesystem;
using namespace lumaro;
using namespace suite_e2e;

namespace {

// The day folders the live client made for the capture-card recorder ("YYYY_MM_DD").
std::vector<QDate> RecordedDays() {
  std::vector<QDate> days;
  const fs::path recorder = fs::path(platform::ToHostPath("D:\\VIDEO")) /
                            (std::string(kAlderAddress) + "[SVR" + std::to_string(kAlderPort) + "]");
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(recorder, error)) {
    const QDate day = QDate::fromString(QString::fromStdString(entry.path().filename().string()), "yyyy_MM_dd");
    if (day.isValid()) days.push_back(day);
  }
  return days;
}

// Grey-level spread of a picture: a frame of the simulator's test pattern is far from flat.
double Spread(const QImage& picture) {
  const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
  double sum = 0, squares = 0;
  const double count = static_cast<double>(grey.width()) * grey.height();
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x) {
      const double v = grey.constScanLine(y)[x];
      sum += v;
      squares += v * v;
    }
  const double mean = sum / count;
  return std::sqrt(squares / count - mean * mean);
}

TEST(EndToEndLumaro, ClientModeFindsTheDaysRecordingsAndPlaysThemOneAfterTheOther) {
  const char* folder = std::getenv("SUITE_E2E_FOLDER");
  if (folder == nullptr) GTEST_SKIP() << "run by end_to_end_test.sh";
  lumaro_test::App();
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  g_nResolution = 1;

  const std::vector<QDate> days = RecordedDays();
  ASSERT_FALSE(days.empty()) << "the live client left no day folder for the capture-card recorder";

  CLumaroDlg dialog(0, "C:\\Pic\\", platform::ToWindowsPath(std::string(folder) + "/client"));
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  ASSERT_TRUE(dialog.IsClientMode());

  // Local recordings: the remote box off, the day and channel 1 chosen, the live client's
  // recorder named in the search dialog.
  auto* remote = dialog.findChild<QCheckBox*>("CHK_REMOTE");
  ASSERT_NE(remote, nullptr);
  if (remote->isChecked()) QTest::mouseClick(remote, Qt::LeftButton, {}, QPoint(4, remote->height() / 2));
  ASSERT_FALSE(dialog.IsRemote());
  dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(days.front());
  QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("CH 1")), Qt::LeftButton);
  dialog.SetRecordSetRunner([](CRecordSetDlg& set) {
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText(QString::fromLatin1(kAlderAddress));
    set.findChild<QLineEdit*>("EDIT_PORT")->setText(QString::number(kAlderPort));
    set.accept();
    return set.result();
  });
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SEARCH"), Qt::LeftButton);

  // The recording by hand and the one by timetable, in the order they were made.
  auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULT");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "1");
  EXPECT_EQ(list->topLevelItem(1)->text(0), "1");
  EXPECT_NE(list->topLevelItem(0)->text(1), list->topLevelItem(1)->text(1)) << "manual and scheduled differ in type";
  EXPECT_LT(list->topLevelItem(0)->text(2), list->topLevelItem(1)->text(2));

  // The first plays with pictures, faster so the run stays short; the second follows it.
  // (QTest's waiting macros report to QTest, not to this test: qWaitFor with assertions.)
  const auto& states = dialog.WindowStates();
  dialog.OpenResultRow(0);
  ASSERT_EQ(states[0].nState, kWindowPlaying);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.VideoWindow(0)->LastPicture().isNull(); }, 10000))
      << "no picture from the first recording";
  EXPECT_GT(Spread(dialog.VideoWindow(0)->LastPicture()), 10.0);
  dialog.OnButtonFast();
  dialog.OnButtonFast();
  ASSERT_TRUE(QTest::qWaitFor([&] { return states[0].nRecordIndex == 1; }, 40000))
      << "the channel's next recording did not follow; state " << states[0].nState << ", recording "
      << states[0].nRecordIndex;
  EXPECT_EQ(states[0].nState, kWindowPlaying);
  EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return states[0].nState == kWindowIdle; }, 60000))
      << "the last recording did not play to its end; state " << states[0].nState;
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

}  // namespace
