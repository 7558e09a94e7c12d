// The schedule page of the settings sheet: picking a window, painting its week, arming and
// disarming against the recording count, and the windows whose schedule may not change.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTreeWidget>
#include <ctime>

#include "live_client/core/KorvelConfig.h"
#include "live_client/settings/CPropPageFrameDefault.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/CTreePropSheet.h"
#include "live_client/settings/KorvelSettings.h"
#include "common/qt/SystemText.h"
#include "live_client/storage/MWeek.h"
#include "live_client/storage/WeekSchedule.h"
#include "tests/live_client/settings/SettingsTestSupport.h"

namespace {

using settings_test::SettingsTest;
using settings_test::WhenModal;

constexpr int kMonday = 1;
constexpr int kSaturday = 6;

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
  // Clicks a button where the operator would: a check box on its box or text (a click in
  // the empty part of a wide check box does nothing), on a part of it that is not hidden.
  static void Click(QWidget* page, const char* name) {
    auto* button = page->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QPoint point = button->rect().center();
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
      QStyleOptionButton option;
      option.initFrom(box);
      option.text = box->text();
      point = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box).center();
    }
    ASSERT_TRUE(button->visibleRegion().contains(point)) << name << " is hidden where it is clicked";
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, point);
  }
  // A point of the week grid the operator can see, for a press or a release there.
  static QPoint Visible(MWeek* week, QPoint point) {
    EXPECT_TRUE(week->visibleRegion().contains(point))
        << "(" << point.x() << ", " << point.y() << ") of the week grid is hidden";
    return point;
  }
  // Paints cells (day0, hour0)..(day1, hour1) by a left drag between their inner corners.
  static void Drag(MWeek* week, int day0, int hour0, int day1, int hour1) {
    const QPoint from = Visible(week, week->CellRect(day0, hour0).topLeft() + QPoint(2, 2));
    const QPoint to = Visible(week, week->CellRect(day1, hour1).bottomRight() - QPoint(2, 2));
    QTest::mousePress(week, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(week, to);
    QTest::mouseRelease(week, Qt::LeftButton, Qt::NoModifier, to);
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

    // Clear the week from the corner with the right button, then drag over Monday 08 and
    // over the last hours of Saturday, at the places the grid shows them.
    const MWeek::Geometry g = MWeek::GeometryFor(week->width(), week->height());
    QTest::mouseClick(week, Qt::RightButton, Qt::NoModifier, Visible(week, QPoint(g.x0 / 2, g.y0 / 2)));
    Drag(week, kMonday, 8, kMonday, 8);
    Drag(week, kSaturday, 20, kSaturday, 23);
    EXPECT_TRUE(page->IsModified());
    Click(page, "CHECK_SCHEDON");
    Click(page, "BTN_SCHEDAPPLY");
    EXPECT_EQ(gate->data(0, CRecordDlg::kImageRole).toInt(), CRecordDlg::kImageArmed);
    QTest::mouseClick(sheet->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
  });
  EXPECT_EQ(sheet->DoModal(), QDialog::Accepted);

  const CCameraInfo& gate = pages_[0].camera[2];
  for (int h = 0; h < kScheduleHours; ++h)
    EXPECT_EQ(gate.abySchedule[h], h == 8 ? 0x02 : h >= 20 ? 0x40 : 0x00) << "hour " << h;
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

// On a 1024 x 768 screen the sheet shows every page whole, in English and in Chinese: the
// page inside the frame's page area, every label and button as wide as its text, and on the
// schedule page all 24 hours and 7 days with their header texts uncut.
TEST_F(SchedulePageTest, EveryPageShowsWholeOnA1024By768Screen) {
  RegisterSchedulePage(pages_, tally_);
  CKorvelSettings settings;
  std::vector<std::string> disks{"D:\\", "E:\\"};
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    ASSERT_TRUE(skin_.LoadLanguage(language));
    std::unique_ptr<CTreePropSheet> sheet(
        BuildSettingsSheet(skin_, pages_, settings, disks, nullptr, nullptr, nullptr));
    WhenModal("CTreePropSheet", [&](QWidget*) {
      EXPECT_LE(sheet->width(), 1024);
      EXPECT_LE(sheet->height(), 768);
      CPropPageFrameDefault* frame = sheet->Frame();
      for (int i = 0; i < sheet->PageCount(); ++i) {
        sheet->SetActivePage(i);
        QWidget* page = sheet->GetPage(i);
        SCOPED_TRACE(page->objectName().toStdString());
        ASSERT_EQ(frame->Page(), page);
        EXPECT_TRUE(frame->PageRect().contains(page->geometry()));
        for (QWidget* child : page->findChildren<QWidget*>()) {
          const bool texted = qobject_cast<QLabel*>(child) || qobject_cast<QCheckBox*>(child) ||
                              qobject_cast<QRadioButton*>(child) || qobject_cast<QPushButton*>(child);
          if (!texted || !child->isVisibleTo(page)) continue;
          const QRect inFrame(child->mapTo(frame, QPoint(0, 0)), child->size());
          EXPECT_TRUE(frame->PageRect().contains(inFrame)) << child->objectName().toStdString();
          EXPECT_GE(child->width(), child->sizeHint().width()) << child->objectName().toStdString();
        }
        auto* week = page->findChild<MWeek*>("GRID_WEEK");
        if (!week) continue;
        const QRect grid(week->mapTo(frame, QPoint(0, 0)), week->size());
        EXPECT_TRUE(frame->PageRect().contains(grid));
        EXPECT_EQ(week->visibleRegion(), QRegion(week->rect()));
        const MWeek::Geometry g = MWeek::GeometryFor(week->width(), week->height());
        const QFontMetrics metrics(week->font());
        EXPECT_GE(g.cw, metrics.horizontalAdvance(QStringLiteral("23")));
        EXPECT_GE(g.rh, metrics.height());
        for (int day = 0; day <= kScheduleDays; ++day) {
          const std::string key =
              day < kScheduleDays ? "IDS_COL_WEEK" + std::to_string(day) : "IDS_COL_WEEKALL";
          EXPECT_GE(g.x0, metrics.horizontalAdvance(FromSystemText(skin_.Text(key)))) << key;
        }
      }
      sheet->reject();
    });
    sheet->DoModal();
  }
}

}  // namespace
