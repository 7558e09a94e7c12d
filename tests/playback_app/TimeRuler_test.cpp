// The time ruler as the operator meets it in time mode: channels picked by their buttons get
// windows in order, the day's recordings show as coloured bars, clicks on the rows play every
// selected channel from the chosen moment (also zoomed in), the scale strip zooms, and the
// rows scroll with the channel buttons beside them.

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QImage>
#include <QTest>

#include <optional>

#include "LumaroTestSupport.h"
#include "platform/MessageBox.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/C_MonthView.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/RulerMarkWnd.h"
#include "playback_app/TimeStaffWnd.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;
using lumaro_test::MakeRecording;
using lumaro_test::ProgramFolder;

namespace {

constexpr int kX0 = TimeStaffWnd::kX0;

// Vertical middle of visible row `row`.
int RowY(int row) { return row * TimeStaffWnd::kRowHeight + 9; }

class TimeRulerTest : public ::testing::Test {
 protected:
  void SetUp() override { surroundings_.emplace(); }
  void TearDown() override { surroundings_.reset(); }
  static void SetDay(CLumaroDlg& dialog, int year, int month, int day) {
    QCalendarWidget* calendar = dialog.findChild<QCalendarWidget*>(QStringLiteral("CONTROL_CALDATE"));
    ASSERT_NE(calendar, nullptr);
    calendar->setSelectedDate(QDate(year, month, day));
  }
  static QWidget* ChannelButton(CLumaroDlg& dialog, int channel) {
    return dialog.findChild<QWidget*>(QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char(' ')));
  }
  std::optional<lumaro_test::DialogSurroundings> surroundings_;
};

TEST_F(TimeRulerTest, ChannelsGetWindowsInOrderAndTheirRecordingsShowAsColouredBars) {
  suite::test::TempDriveTable drives("CD", 'C');
  MakeRecording('D', "", 3, 10, 0, 0, 'M', 1800);  // 10:00:00-10:30:00 manual
  MakeRecording('D', "", 3, 12, 30, 0, 'A', 5);    // 12:30:00, 5 s alarm
  MakeRecording('D', "", 1, 10, 5, 0, 'T', 600);   // 10:05:00-10:15:00 automatic
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  SetDay(dialog, 2010, 5, 5);
  for (int channel : {3, 1, 7}) QTest::mouseClick(ChannelButton(dialog, channel), Qt::LeftButton);

  EXPECT_EQ(dialog.Channels()[2].nWindow, 0);
  EXPECT_EQ(dialog.Channels()[0].nWindow, 1);
  EXPECT_EQ(dialog.Channels()[6].nWindow, 2);
  TimeStaffWnd* ruler = dialog.RulerArea();
  ASSERT_NE(ruler, nullptr);
  EXPECT_EQ(ruler->RowLabel(3), "03");
  EXPECT_EQ(ruler->RowLabel(7), "07");
  EXPECT_EQ(ruler->RowLabel(2), "");
  ASSERT_EQ(ruler->Bars(3).size(), 2u);
  // The 5-second recording is still at least a pixel wide.
  EXPECT_GE(ruler->Bars(3)[1].rcNormal.width(), 1);
  EXPECT_GE(ruler->Bars(3)[1].rcZoomed.width(), 1);

  // Bars in their type's colours on the rows of channels 1 and 3, background between them.
  ruler->SetScrollPos(0);
  const QImage image = ruler->grab().toImage();
  auto pixel = [&](int x, int y) { return QColor(image.pixel(x, y)); };
  EXPECT_EQ(pixel(kX0 + 302, RowY(0)), QColor(0, 255, 0));    // channel 1, automatic
  EXPECT_EQ(pixel(kX0 + 302, RowY(2)), QColor(0, 0, 255));    // channel 3, manual
  EXPECT_EQ(pixel(kX0 + 375, RowY(2)), QColor(255, 0, 254));  // channel 3, the short alarm
  EXPECT_NE(pixel(kX0 + 330, RowY(2)), QColor(0, 0, 255));    // after 11:00 nothing on channel 3
  EXPECT_NE(pixel(kX0 + 302, RowY(1)), QColor(0, 0, 255));    // channel 2 is not selected

  // Releasing a channel empties its row and frees its window for the next one.
  QTest::mouseClick(ChannelButton(dialog, 1), Qt::LeftButton);
  EXPECT_TRUE(ruler->Bars(1).empty());
  EXPECT_EQ(ruler->RowLabel(1), "");
  QTest::mouseClick(ChannelButton(dialog, 9), Qt::LeftButton);
  EXPECT_EQ(dialog.Channels()[8].nWindow, 1);
}

TEST_F(TimeRulerTest, ClicksOnTheRowsPlayEveryChannelFromTheChosenMomentAlsoZoomedIn) {
  suite::test::TempDriveTable drives("CD", 'C');
  MakeRecording('D', "", 3, 10, 0, 0, 'M', 1800);
  MakeRecording('D', "", 1, 10, 5, 0, 'A', 600);
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  SetDay(dialog, 2010, 5, 5);
  for (int channel : {3, 1, 7}) dialog.SetChannelSelected(channel, true);
  TimeStaffWnd* ruler = dialog.RulerArea();
  ruler->SetScrollPos(0);
  EXPECT_EQ(ruler->Mark()->x(), kX0);

  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(kX0 + 300, RowY(1)));
  EXPECT_EQ(ruler->CursorSeconds(), 10 * 3600);
  EXPECT_EQ(ruler->Mark()->x(), kX0 + 300);
  const auto& windows = dialog.WindowStates();
  // Channel 3 plays its recording from its start, channel 1 the one that follows 10:00,
  // channel 7 has nothing and stays still.
  (void)QTest::qWaitFor([&] { return windows[0].nState == static_cast<int>(kWindowPlaying); }, 5000);
  ASSERT_EQ(windows[0].nState, static_cast<int>(kWindowPlaying));
  EXPECT_EQ(windows[0].nRecordIndex, 0);
  EXPECT_FLOAT_EQ(windows[0].fStartPosition, 0.0f);
  EXPECT_EQ(windows[1].nState, kWindowPlaying);
  EXPECT_FLOAT_EQ(windows[1].fStartPosition, 0.0f);
  EXPECT_NE(windows[2].nState, kWindowPlaying);

  // The scale strip below the rows zooms into the block's two hours.
  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(kX0 + 310, 4 * TimeStaffWnd::kRowHeight + 5));
  ASSERT_TRUE(ruler->IsZoomed());
  EXPECT_EQ(ruler->ZoomHour(), 10);
  EXPECT_EQ(ruler->Mark()->x(), kX0);  // 10:00:00 is the start of the span
  // Zoomed, the manual bar covers the first three blocks (10:00-10:30).
  const QImage zoomed = ruler->grab().toImage();
  EXPECT_EQ(QColor(zoomed.pixel(kX0 + 170, RowY(2))), QColor(0, 0, 255));
  EXPECT_NE(QColor(zoomed.pixel(kX0 + 190, RowY(2))), QColor(0, 0, 255));

  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(kX0 + 60, RowY(2)));
  EXPECT_EQ(ruler->CursorSeconds(), 10 * 3600 + 600);
  // Same recording still open on channel 3: moved within it, a third of the way in.
  ASSERT_TRUE(QTest::qWaitFor([&] { return windows[0].fStartPosition > 0.3f; }, 5000)) << "windows[0].fStartPosition > 0.3f";
  EXPECT_NEAR(windows[0].fStartPosition, 600.0f / 1800.0f, 1e-4);
  EXPECT_EQ(windows[0].nState, kWindowPlaying);
  EXPECT_NEAR(windows[1].fStartPosition, 300.0f / 600.0f, 1e-4);

  // A second click on the strip zooms back out; the cursor keeps its moment.
  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(kX0 + 10, 4 * TimeStaffWnd::kRowHeight + 5));
  EXPECT_FALSE(ruler->IsZoomed());
  EXPECT_EQ(ruler->Mark()->x(), kX0 + 305);
}

TEST_F(TimeRulerTest, ScrollingStopsAtTheLastFourRowsAndLabelsSelectTheirWindow) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;  // TBlack: four channel buttons beside the rows
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  // The TBlack calendar got its look once after creation.
  auto* calendar = dialog.findChild<C_MonthView*>(QStringLiteral("CONTROL_CALDATE"));
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(calendar->Property(9), 0x808000);
  EXPECT_EQ(calendar->Property(5), 400000);
  dialog.SetChannelSelected(22, true);
  dialog.SetChannelSelected(2, true);
  TimeStaffWnd* ruler = dialog.RulerArea();
  ruler->SetScrollPos(25);
  EXPECT_EQ(ruler->ScrollPos(), 20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ChannelButton(dialog, 21)->isVisible(); }, 5000)) << "ChannelButton(dialog, 21)->isVisible()";
  EXPECT_TRUE(ChannelButton(dialog, 24)->isVisible());
  EXPECT_FALSE(ChannelButton(dialog, 20)->isVisible());
  EXPECT_FALSE(ChannelButton(dialog, 1)->isVisible());

  // Rows 21..24 are shown: the label of channel 22 is on the second row.
  ASSERT_EQ(dialog.SelectedWindow(), 1);
  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(5, RowY(1)));
  (void)QTest::qWaitFor([&] { return dialog.SelectedWindow() == 0; }, 5000);
  ASSERT_EQ(dialog.SelectedWindow(), 0);
  // An empty label does nothing.
  QTest::mouseClick(ruler, Qt::LeftButton, {}, QPoint(5, RowY(0)));
  QTest::qWait(50);
  EXPECT_EQ(dialog.SelectedWindow(), 0);
}

TEST_F(TimeRulerTest, DraggingOverTheChannelButtonsSelectsWithTheLeftAndReleasesWithTheRight) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  QWidget* first = ChannelButton(dialog, 1);
  QWidget* third = ChannelButton(dialog, 3);
  ASSERT_TRUE(first && third && first->isVisible() && third->isVisible());
  // Positions over the third button, in the first button's coordinates (it holds the mouse).
  const QPoint overThird = first->mapFrom(first->parentWidget(), third->geometry().center());
  QTest::mousePress(first, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseMove(first, overThird);
  QTest::mouseRelease(first, Qt::LeftButton, {}, overThird);
  for (int channel : {1, 2, 3}) EXPECT_TRUE(dialog.Channels()[channel - 1].bSelected) << channel;
  EXPECT_FALSE(dialog.Channels()[3].bSelected);
  EXPECT_EQ(dialog.Channels()[2].nWindow, 2);

  // The right button releases what it touches: from the third button up to the second.
  QWidget* second = ChannelButton(dialog, 2);
  const QPoint overSecond = third->mapFrom(third->parentWidget(), second->geometry().center());
  QTest::mousePress(third, Qt::RightButton, {}, QPoint(3, 3));
  QTest::mouseMove(third, overSecond);
  QTest::mouseRelease(third, Qt::RightButton, {}, overSecond);
  EXPECT_TRUE(dialog.Channels()[0].bSelected);
  EXPECT_FALSE(dialog.Channels()[1].bSelected);
  EXPECT_FALSE(dialog.Channels()[2].bSelected);
  EXPECT_TRUE(dialog.RulerArea()->RowLabel(2).empty());
}

TEST_F(TimeRulerTest, DraggingFromTheStripBesideTheButtonsSelectsAndReleasesWhatItTouches) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;  // TBlack: four buttons beside the ruler rows
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.show();
  // Below the fourth button, on the background: up over the second, third and fourth.
  const QPoint below(20, ChannelButton(dialog, 4)->geometry().bottom() + 6);
  const QPoint overSecond(20, ChannelButton(dialog, 2)->geometry().center().y());
  QTest::mousePress(&dialog, Qt::LeftButton, {}, below);
  QTest::mouseMove(&dialog, overSecond);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, overSecond);
  for (int channel : {2, 3, 4}) EXPECT_TRUE(dialog.Channels()[channel - 1].bSelected) << channel;
  EXPECT_FALSE(dialog.Channels()[0].bSelected);
  // The right button releases what it touches: the fourth only.
  const QPoint overFourth(20, ChannelButton(dialog, 4)->geometry().center().y());
  QTest::mousePress(&dialog, Qt::RightButton, {}, below);
  QTest::mouseMove(&dialog, overFourth);
  QTest::mouseRelease(&dialog, Qt::RightButton, {}, overFourth);
  EXPECT_TRUE(dialog.Channels()[1].bSelected);
  EXPECT_TRUE(dialog.Channels()[2].bSelected);
  EXPECT_FALSE(dialog.Channels()[3].bSelected);
  // Outside the strip the background starts no drag.
  QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(600, 600));
  QTest::mouseMove(&dialog, overFourth);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, overFourth);
  EXPECT_FALSE(dialog.Channels()[3].bSelected);
}

TEST_F(TimeRulerTest, ANewDayOnTheCalendarSelectsWindowZeroAndItsSoundFollows) {
  suite::test::TempDriveTable drives("CD", 'C');
  ProgramFolder folder;
  CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
  ASSERT_TRUE(dialog.OnInitDialog());
  SetDay(dialog, 2010, 5, 5);
  dialog.SetChannelSelected(3, true);
  dialog.SetChannelSelected(5, true);
  ASSERT_EQ(dialog.SoundWindow(), 1);
  SetDay(dialog, 2010, 5, 6);
  EXPECT_EQ(dialog.SelectedWindow(), 0);
  EXPECT_EQ(dialog.SoundWindow(), 0);
}

TEST(MonthViewTest, DayPropertiesFollowThePickedDayAndTheEventFiresOnAPick) {
  lumaro_test::App();
  C_MonthView view(nullptr);
  view.setSelectedDate(QDate(2010, 5, 5));
  std::int16_t year = 0, month = 0, day = 0;
  ASSERT_TRUE(view.GetProperty(kMonthViewDispBase + 21, year));
  ASSERT_TRUE(view.GetProperty(kMonthViewDispBase + 20, month));
  ASSERT_TRUE(view.GetProperty(kMonthViewDispBase + 19, day));
  EXPECT_EQ(year, 2010);
  EXPECT_EQ(month, 5);
  EXPECT_EQ(day, 5);
  std::int16_t unused = 0;
  EXPECT_FALSE(view.GetProperty(kMonthViewDispBase + 15, unused));
  EXPECT_FALSE(view.GetProperty(21, unused));

  // The six creation values are taken; the day properties are read-only.
  const std::pair<int, std::int32_t> look[] = {{15, 1}, {9, 0x808000}, {10, 0xFFFF}, {2, 0xFFFF}, {0, 0xFFFF}, {5, 400000}};
  for (const auto& [number, value] : look) EXPECT_TRUE(view.SetProperty(kMonthViewDispBase + number, value)) << number;
  EXPECT_EQ(view.Property(5), 400000);
  EXPECT_FALSE(view.SetProperty(kMonthViewDispBase + 19, 7));

  int fired = 0;
  std::int16_t pickedDay = 0;
  view.SetDayPickedHandler([&](int dispid, QDate&, bool&, std::string&) {
    EXPECT_EQ(dispid, kMonthViewDayPicked);
    ++fired;
    view.GetProperty(kMonthViewDispBase + 19, pickedDay);
  });
  view.setSelectedDate(QDate(2010, 5, 20));
  emit view.clicked(QDate(2010, 5, 20));
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(pickedDay, 20);
}

}  // namespace
