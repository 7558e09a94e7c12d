// The schedule page of the settings sheet: picking a window, painting its week, arming and
// disarming against the recording count, and the windows whose schedule may not change.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <ctime>

#include "live_client/core/KorvelConfig.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/CTreePropSheet.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/storage/MWeek.h"
#include "live_client/storage/WeekSchedule.h"
#include "tests/live_client/settings/SettingsTestSupport.h"

namespace {

using settings_test::SettingsTest;
using settings_test::WhenModal;

constexpr int kMonday = 1;

// Local time of Monday 7 December 2026 at hh:mm.
std::time_t MondayAt(int hour, int minute) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 7;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

class SchedulePageTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    pages_[0].camera[2].strAddr = "127.0.0.1";
    pages_[0].camera[2].strCamDesc = "Gate";
    pages_[1].camera[0].strAddr = "127.0.0.2";
    pages_[1].camera[0].strCamDesc = "Yard";
  }
  void TearDown() override {
    SetSchedulePageFactory({});
    SettingsTest::TearDown();
  }

  // The window item of window w (0-based) on page p of the page's tree.
  static QTreeWidgetItem* WindowItem(QTreeWidget* tree, int p, int w) {
    QTreeWidgetItem* page = tree->topLevelItem(p);
    for (int i = 0; page && i < page->childCount(); ++i)
      if (page->child(i)->data(0, CRecordDlg::kWindowRole).toInt() == w) return page->child(i);
    return nullptr;
  }
  static void Click(QWidget* page, const char* name) {
    auto* button = page->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }

  CPageInfo pages_[kPageCount];
  RecordingTally tally_;
};

TEST_F(SchedulePageTest, PaintingAWindowInTheSheetArmsItsHours) {
  RegisterSchedulePage(pages_, tally_);
  CKorvelSettings settings;
  std::vector<std::string> disks{"D:\\"};
  std::unique_ptr<CTreePropSheet> sheet(
      BuildSettingsSheet(skin_, pages_, settings, disks, nullptr, nullptr, nullptr));
  ASSERT_EQ(sheet->PageCount(), 3);

  WhenModal("CTreePropSheet", [&](QWidget*) {
    sheet->SetActivePage(1);
    CPropertyPage* page = sheet->GetPage(1);
    ASSERT_TRUE(page->isVisible());
    EXPECT_EQ(page->Caption(), English("IDS_RECORDDLG_CAPTION"));

    auto* tree = page->findChild<QTreeWidget*>("TREE_WINDOWS");
    auto* week = page->findChild<MWeek*>("GRID_WEEK");
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(week, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), kPageCount);
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(2)->childCount(), 0);
    QTreeWidgetItem* gate = WindowItem(tree, 0, 2);
    ASSERT_NE(gate, nullptr);
    EXPECT_TRUE(gate->text(0).startsWith(QStringLiteral("Window 3")));
    EXPECT_EQ(gate->data(0, CRecordDlg::kImageRole).toInt(), CRecordDlg::kImageIdle);

    // A page item leaves nothing to edit.
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_FALSE(week->isEnabled());
    tree->setCurrentItem(gate);
    ASSERT_TRUE(week->isEnabled());

    // Clear the week from the corner with the right button, then drag over Monday 08.
    QTest::mouseClick(week, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    const QRect cell = week->CellRect(kMonday, 8);
    QTest::mousePress(week, Qt::LeftButton, Qt::NoModifier, cell.topLeft() + QPoint(2, 2));
    QTest::mouseMove(week, cell.bottomRight() - QPoint(2, 2));
    QTest::mouseRelease(week, Qt::LeftButton, Qt::NoModifier, cell.bottomRight() - QPoint(2, 2));
    EXPECT_TRUE(page->IsModified());
    Click(page, "CHECK_SCHEDON");
    Click(page, "BTN_SCHEDAPPLY");
    EXPECT_EQ(gate->data(0, CRecordDlg::kImageRole).toInt(), CRecordDlg::kImageArmed);
    QTest::mouseClick(sheet->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
  });
  EXPECT_EQ(sheet->DoModal(), QDialog::Accepted);

  const CCameraInfo& gate = pages_[0].camera[2];
  for (int h = 0; h < kScheduleHours; ++h)
    EXPECT_EQ(gate.abySchedule[h], h == 8 ? 0x02 : 0x00) << "hour " << h;
  EXPECT_EQ(gate.bSchedOn, 1);
  EXPECT_EQ(tally_.count, 1);  // OK applying the same armed window again takes nothing more
  EXPECT_NE(IsInScheduleAt(gate.abySchedule, MondayAt(8, 30)), 0);
  EXPECT_EQ(IsInScheduleAt(gate.abySchedule, MondayAt(9, 30)), 0);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(SchedulePageTest, CountLimitDisarmingResetAndWindowsRecordingByHand) {
  CRecordDlg page(skin_, pages_, tally_.lock, tally_.count, nullptr);
  ASSERT_TRUE(page.InitPage());
  auto* tree = page.findChild<QTreeWidget*>("TREE_WINDOWS");
  auto* week = page.findChild<MWeek*>("GRID_WEEK");
  auto* armed = page.findChild<QCheckBox*>("CHECK_SCHEDON");
  ASSERT_NE(armed, nullptr);

  // The limit refuses arming: the overflow message, nothing stored, the box cleared again.
  tally_.count = kMaxRecordings;
  tree->setCurrentItem(WindowItem(tree, 1, 0));
  week->SetCell(kMonday, 3, 0);
  armed->setChecked(true);
  ASSERT_TRUE(page.OnApply());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(QString::fromStdString(Shown()[0]), English("IDS_RECNUM_OVERFLOW"));
  EXPECT_EQ(pages_[1].camera[0].bSchedOn, 0);
  EXPECT_EQ(pages_[1].camera[0].abySchedule[3], 0xFF);
  EXPECT_EQ(tally_.count, kMaxRecordings);
  EXPECT_FALSE(armed->isChecked());

  // Below the limit it arms (the grid has no eighth day: bit 7 comes back clear); clearing
  // the box disarms and gives the unit back.
  tally_.count = 5;
  armed->setChecked(true);
  ASSERT_TRUE(page.OnApply());
  EXPECT_EQ(pages_[1].camera[0].bSchedOn, 1);
  EXPECT_EQ(pages_[1].camera[0].abySchedule[3], 0x7F & ~(1 << kMonday));
  EXPECT_EQ(tally_.count, 6);
  armed->setChecked(false);
  ASSERT_TRUE(page.OnApply());
  EXPECT_EQ(pages_[1].camera[0].bSchedOn, 0);
  EXPECT_EQ(tally_.count, 5);

  // Reset changes only the page until applied.
  page.Reset();
  EXPECT_NE(week->GetCell(kMonday, 3), 0);
  EXPECT_TRUE(page.IsModified());
  EXPECT_EQ(pages_[1].camera[0].abySchedule[3], 0x7F & ~(1 << kMonday));

  // A window recording by hand can be looked at but not changed, even through OK.
  pages_[0].camera[2].nRecKind = 1;
  pages_[0].camera[2].abySchedule[10] = 0x3E;
  page.BuildTree();
  EXPECT_EQ(tree->currentItem(), WindowItem(tree, 1, 0));  // the window applied last
  tree->setCurrentItem(WindowItem(tree, 0, 2));
  EXPECT_FALSE(week->isEnabled());
  EXPECT_FALSE(armed->isEnabled());
  EXPECT_EQ(week->GetCell(kMonday, 10), 1);
  EXPECT_EQ(week->GetCell(0, 10), 0);
  week->SetAllCells(0);
  armed->setChecked(true);
  ASSERT_TRUE(page.OnApply());
  EXPECT_EQ(pages_[0].camera[2].abySchedule[10], 0x3E);
  EXPECT_EQ(pages_[0].camera[2].abySchedule[11], 0xFF);
  EXPECT_EQ(pages_[0].camera[2].bSchedOn, 0);
  EXPECT_EQ(tally_.count, 5);
}

}  // namespace
