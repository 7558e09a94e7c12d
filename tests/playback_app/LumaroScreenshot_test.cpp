// Pictures of the playback program for people to look at: time mode with a day of recordings
// on the ruler and four windows playing, and list mode with four windows playing. Runs only
// when LUMARO_SCREENSHOT_DIR names the folder to write them to, on a real (or virtual) X
// display; scripts/screenshot-lumaro runs it under Xvfb:
//   LUMARO_SCREENSHOT_DIR=build/screenshots QT_QPA_PLATFORM=xcb
//     xvfb-run -a -s "-screen 0 1024x768x24" build/tests/LumaroEndToEnd_test
//     --gtest_filter='*Screenshot*'

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <ctime>

#include "LiveRecording.h"
#include "LumaroTestSupport.h"
#include "decoder_library/Halvane.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/TimeText.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/TimeStaffWnd.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;

namespace {

constexpr int kChannelsShown = 4;

// The screen the program has switched to at start-up: 1024 x 768, the size of the Xvfb screen.
class Screen1024 : public platform::DisplayProvider {
 public:
  platform::DisplayMode CurrentMode() override { return {32, 1024, 768, 60}; }
  std::vector<platform::DisplayMode> Modes() override { return {CurrentMode()}; }
};

// Recordings spread over the day on the four channels beside the ruler, all three types, kept
// clear of the hour before `now` so a click at `now` plays the live recordings made then.
void MakeDayOfRecordings(const platform::LocalTime& today, int nowSecond) {
  struct Span {
    int channel, hour, minute;
    char type;
    unsigned seconds;
  };
  const Span spans[] = {
      {1, 0, 0, 'T', 3 * 3600},  {1, 6, 30, 'M', 5400},   {1, 12, 0, 'A', 900},   {1, 17, 0, 'T', 4 * 3600},
      {2, 1, 0, 'T', 2 * 3600},  {2, 8, 0, 'T', 3 * 3600}, {2, 14, 10, 'A', 600},  {2, 20, 0, 'M', 7200},
      {3, 0, 30, 'A', 1200},     {3, 3, 0, 'M', 3600},     {3, 9, 45, 'T', 5 * 3600}, {3, 22, 0, 'T', 5400},
      {4, 2, 0, 'M', 10800},     {4, 7, 15, 'A', 300},     {4, 11, 0, 'T', 7200},  {4, 16, 30, 'M', 6 * 3600},
  };
  for (const Span& span : spans) {
    const int start = span.hour * 3600 + span.minute * 60;
    if (start < nowSecond + 600 && start + static_cast<int>(span.seconds) > nowSecond - 3600) continue;
    lumaro_test::MakeRecording('D', "", span.channel, span.hour, span.minute, 0, span.type, span.seconds, today.year,
                               today.month, today.day);
  }
}

TEST(LumaroScreenshot, TimeModeRulerAndListModeWithFourWindowsPlaying) {
  const char* folder = std::getenv("LUMARO_SCREENSHOT_DIR");
  if (!folder) GTEST_SKIP() << "LUMARO_SCREENSHOT_DIR not set";
  const QString out = QString::fromLocal8Bit(folder) + QStringLiteral("/");
  lumaro_test::App();
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  g_nResolution = 1;
  const auto previous = platform::SetDisplayProvider(std::make_shared<Screen1024>());
  ASSERT_EQ(DEC_LoadLibrary(), 1);
  suite::test::TempDriveTable drives("CDE", 'C');

  // Ten seconds of live recording per channel, made now; the rest of the day around them.
  const std::time_t now = std::time(nullptr);
  platform::LocalTime today;
  ASSERT_TRUE(platform::ToLocalTime(now, today));
  const int nowSecond = today.hour * 3600 + today.minute * 60 + today.second;
  const test_media::EncodedStream stream = lumaro_test::LiveStream(150, 15);
  std::vector<std::string> live;
  for (int channel = 0; channel < kChannelsShown; ++channel) {
    const lumaro_test::LiveRecording recording = lumaro_test::RecordLive(
        stream, channel, lumaro_test::LiveRecordFolder(channel % 2 ? 'E' : 'D', "", 0, channel, now), 0, 150);
    ASSERT_FALSE(recording.path.empty());
    live.push_back(recording.path);
  }
  MakeDayOfRecordings(today, nowSecond);

  lumaro_test::ProgramFolder program;
  CLumaroDlg dialog(1, "D:\\Picture\\", program.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  dialog.findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(today.year, today.month, today.day));
  for (int channel = 1; channel <= kChannelsShown; ++channel)
    QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char(' '))),
                      Qt::LeftButton);
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_VIDEOWND4"), Qt::LeftButton);
  TimeStaffWnd* ruler = dialog.RulerArea();
  ruler->SetScrollPos(0);
  QTest::mouseClick(ruler, Qt::LeftButton, {},
                    QPoint(TimeStaffWnd::kX0 + nowSecond * ruler->BlockWidth() / 7200, TimeStaffWnd::kRowHeight / 2));
  for (int window = 0; window < kChannelsShown; ++window)
    ASSERT_TRUE(lumaro_test::WaitForState(dialog, window, kWindowPlaying)) << window;
  QTest::qWait(1500);
  EXPECT_TRUE(dialog.grab().save(out + QStringLiteral("lumaro-time-mode.png")));

  // List mode: the whole day searched, the live recording of each channel opened by a
  // double click on its row.
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_MODELIST"), Qt::LeftButton);
  QTest::mouseClick(dialog.findChild<QWidget*>("BTN_SEARCH"), Qt::LeftButton);
  auto* list = dialog.findChild<QTreeWidget*>("LIST_RESULT");
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (std::find(live.begin(), live.end(), item->text(3).toStdString()) == live.end()) continue;
    list->scrollToItem(item);
    // Within the first column: the row is wider than the list.
    const QPoint point(20, list->visualItemRect(item).center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
  }
  for (int window = 0; window < kChannelsShown; ++window)
    ASSERT_TRUE(lumaro_test::WaitForState(dialog, window, kWindowPlaying)) << window;
  QTest::qWait(1500);
  EXPECT_TRUE(dialog.grab().save(out + QStringLiteral("lumaro-list-mode.png")));
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  DEC_FreeLibrary();
  platform::SetDisplayProvider(previous);
}

}  // namespace
