#include "live_client/storage/MWeek.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

namespace {

constexpr int kMonday = 1;
constexpr int kWednesday = 3;
constexpr int kFriday = 5;
constexpr int kSaturday = 6;

const QColor kOn(0xBD, 0xC7, 0xBD);
const QColor kOff(0xFF, 0xFF, 0xFF);

// A grid of 20 x 20 pixel cells inside a page-like parent, shown as the operator sees it.
class MWeekTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "MWeek_test";
      static char* argv[] = {name, nullptr};
      // Left to the process's end: Qt's own statics are gone by the time a static
      // application would be destroyed.
      new QApplication(argc, argv);
    }
  }

  void SetUp() override {
    page_ = std::make_unique<QWidget>();
    page_->resize(700, 300);
    grid_ = new MWeek(page_.get());
    // 25 columns of 20 plus a remainder of 7; 8 rows of 20 plus 3.
    grid_->setGeometry(30, 40, 507, 163);
    grid_->SetDayLabels({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "All"});
    page_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
  }

  QPoint Cell(int day, int hour) const { return grid_->CellRect(day, hour).center(); }
  QPoint HourHeader(int hour) const { return QPoint(Cell(0, hour).x(), 10); }
  QPoint DayHeader(int day) const { return QPoint(10, Cell(day, 0).y()); }

  // What the operator sees in the middle of a cell.
  QColor Shown(int day, int hour) {
    const QImage picture = grid_->grab().toImage();
    return picture.pixelColor(Cell(day, hour));
  }

  int CountOn() const {
    int on = 0;
    for (int day = 0; day < kScheduleDays; ++day)
      for (int hour = 0; hour < kScheduleHours; ++hour) on += grid_->GetCell(day, hour) ? 1 : 0;
    return on;
  }

  bool OnlyBlock(int day0, int hour0, int day1, int hour1, int inside) const {
    for (int day = 0; day < kScheduleDays; ++day)
      for (int hour = 0; hour < kScheduleHours; ++hour) {
        const bool in = day >= day0 && day <= day1 && hour >= hour0 && hour <= hour1;
        if ((grid_->GetCell(day, hour) != 0) != (in ? inside != 0 : inside == 0)) return false;
      }
    return true;
  }

  std::unique_ptr<QWidget> page_;
  MWeek* grid_ = nullptr;
};

}  // namespace

TEST_F(MWeekTest, DragPaintsTheBlockAndTheReleasedButtonDecides) {
  grid_->SetAllCells(0);
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kMonday, 8));
  QTest::mouseMove(grid_, Cell(kWednesday, 12));
  EXPECT_TRUE(grid_->IsSelecting());
  EXPECT_EQ(CountOn(), 0) << "cells change only when the button is released";
  QTest::mouseMove(grid_, Cell(kFriday, 17));
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kFriday, 17));
  EXPECT_FALSE(grid_->IsSelecting());
  EXPECT_EQ(CountOn(), 5 * 10);
  EXPECT_TRUE(OnlyBlock(kMonday, 8, kFriday, 17, 1));
  EXPECT_EQ(Shown(kMonday, 8), kOn);
  EXPECT_EQ(Shown(kFriday, 17), kOn);
  EXPECT_EQ(Shown(kFriday, 18), kOff);
  EXPECT_EQ(Shown(kSaturday, 17), kOff);

  // Pressed with the left button, the right one pressed too and released first: the block is
  // cleared, dragged here from the bottom right corner up to the top left.
  grid_->SetAllCells(1);
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kFriday, 17));
  QTest::mouseMove(grid_, Cell(kMonday, 8));
  QTest::mousePress(grid_, Qt::RightButton, Qt::NoModifier, Cell(kMonday, 8));
  QTest::mouseRelease(grid_, Qt::RightButton, Qt::NoModifier, Cell(kMonday, 8));
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kMonday, 8));
  EXPECT_TRUE(OnlyBlock(kMonday, 8, kFriday, 17, 0));
  EXPECT_EQ(Shown(kWednesday, 12), kOff);
  EXPECT_EQ(Shown(kWednesday, 7), kOn);
}

TEST_F(MWeekTest, DragLeavingTheGridStopsAtItsEdge) {
  grid_->SetAllCells(0);
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kFriday, 20));
  // The pointer goes past the right and bottom edges of the grid.
  QTest::mouseMove(grid_, QPoint(600, 250));
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, QPoint(600, 250));
  EXPECT_TRUE(OnlyBlock(kFriday, 20, kSaturday, 23, 1));

  // A selection dragged up into the header row ends on the edge of the cells and changes
  // nothing, as the released point is not below the headers.
  grid_->SetAllCells(0);
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kWednesday, 3));
  QTest::mouseMove(grid_, QPoint(5, 5));
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(CountOn(), 0);
  EXPECT_FALSE(grid_->IsSelecting());

  // The page disables the grid in the middle of a drag: the release never arrives, and the
  // next drag after it is enabled again starts afresh.
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(0, 0));
  grid_->setEnabled(false);
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, Cell(0, 0));
  EXPECT_FALSE(grid_->IsSelecting());
  grid_->setEnabled(true);
  QTest::mousePress(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kMonday, 1));
  QTest::mouseRelease(grid_, Qt::LeftButton, Qt::NoModifier, Cell(kWednesday, 2));
  EXPECT_TRUE(OnlyBlock(kMonday, 1, kWednesday, 2, 1));
}

TEST_F(MWeekTest, HeaderClicksSwitchTheWeekAnHourOrADay) {
  QSignalSpy pressed(grid_, &MWeek::ButtonDown);
  grid_->SetAllCells(1);
  QTest::mouseClick(grid_, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(CountOn(), 0);
  // The parent hears of the press, in its own coordinates.
  ASSERT_EQ(pressed.count(), 1);
  EXPECT_EQ(pressed.at(0).at(0).toPoint(), QPoint(35, 45));
  EXPECT_EQ(pressed.at(0).at(1).value<Qt::MouseButton>(), Qt::RightButton);
  EXPECT_EQ(Shown(kSaturday, 23), kOff);

  QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier, HourHeader(14));
  EXPECT_TRUE(OnlyBlock(0, 14, kSaturday, 14, 1));
  EXPECT_EQ(Shown(kSaturday, 14), kOn);

  QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier, DayHeader(kWednesday));
  EXPECT_EQ(CountOn(), 7 + 23);
  QTest::mouseClick(grid_, Qt::RightButton, Qt::NoModifier, DayHeader(kWednesday));
  EXPECT_EQ(CountOn(), 6);
  EXPECT_EQ(Shown(kWednesday, 14), kOff);

  QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(CountOn(), 7 * 24);
  EXPECT_EQ(Shown(0, 0), kOn);
}

TEST_F(MWeekTest, ScheduleBytesRoundTripAndPaintTheGrid) {
  ScheduleBytes schedule = {};
  schedule[0] = 0x01;
  schedule[14] = 0x3E;
  schedule[23] = 0x40;
  grid_->LoadSchedule(schedule);
  EXPECT_EQ(grid_->GetCell(0, 0), 1);
  EXPECT_EQ(grid_->GetCell(kSaturday, 23), 1);
  EXPECT_EQ(grid_->GetCell(kSaturday, 22), 0);
  EXPECT_EQ(CountOn(), 1 + 5 + 1);
  EXPECT_EQ(Shown(kFriday, 14), kOn);
  EXPECT_EQ(Shown(kSaturday, 14), kOff);

  grid_->SetCell(kWednesday, 14, 0);
  grid_->SetCell(7, 0, 1);   // outside the grid: ignored
  grid_->SetCell(0, -1, 1);
  ScheduleBytes stored;
  grid_->StoreSchedule(stored);
  EXPECT_EQ(stored[14], 0x36);
  EXPECT_EQ(stored[0], 0x01);
  EXPECT_EQ(stored[23], 0x40);
  EXPECT_EQ(stored[1], 0x00);

  // 20-pixel cells after headers that take the remainders (27 x 23); lines and frame black.
  EXPECT_EQ(grid_->CellRect(kSaturday, 23), QRect(487, 143, 21, 21));
  const QImage picture = grid_->grab().toImage();
  EXPECT_EQ(picture.pixelColor(27, 100), QColor(Qt::black));
  EXPECT_EQ(picture.pixelColor(200, 23), QColor(Qt::black));
  EXPECT_EQ(picture.pixelColor(0, 80), QColor(Qt::black));
  int dark = 0;
  for (int x = 0; x < 27; ++x)
    for (int y = 23 + 20; y < 23 + 40; ++y) dark += picture.pixelColor(x, y).lightness() < 100;
  EXPECT_GT(dark, 3) << "the Monday label";
}

TEST_F(MWeekTest, NarrowGridStillSwitchesAnHour) {
  // One pixel per hour: no grid lines, but the header row still picks the hour.
  grid_->setGeometry(30, 40, 30, 16);
  grid_->SetAllCells(0);
  QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier, QPoint(15, 1));
  EXPECT_EQ(CountOn(), 7);
  EXPECT_EQ(grid_->GetCell(kSaturday, 9), 1);
  EXPECT_EQ(grid_->grab().toImage().width(), 30);
  grid_->setGeometry(30, 40, 3, 3);
  QTest::mouseClick(grid_, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
  EXPECT_EQ(CountOn(), 0);
}
