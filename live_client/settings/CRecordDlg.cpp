#include "live_client/settings/CRecordDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/TraceMessage.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinText.h"
#include "live_client/skin/TextFormat.h"
#include "live_client/storage/MWeek.h"
#include "live_client/storage/WeekSchedule.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kIntervalMin = 1;
constexpr int kIntervalMax = 60;
constexpr int kIntervalDefault = 1;
constexpr int kIntervalAfterReset = 30;
constexpr int kManualRecording = 1;

}  // namespace

CRecordDlg::CRecordDlg(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount],
                       platform::CriticalSection& recordingLock, int& recordingCount, void* owner,
                       QWidget* parent)
    : CPropertyPage(skin, "IDS_RECORDDLG_CAPTION", owner, parent),
      pages_(pages),
      recordingLock_(recordingLock),
      recordingCount_(recordingCount) {
  setObjectName(QStringLiteral("CRecordDlg"));
  auto* layout = new QHBoxLayout(this);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("TREE_WINDOWS"));
  tree_->setHeaderHidden(true);
  tree_->setMinimumWidth(160);
  layout->addWidget(tree_);

  auto* right = new QVBoxLayout;
  tab_ = new QTabWidget(this);
  tab_->setObjectName(QStringLiteral("TAB_SCHEDULE"));
  week_ = new MWeek;
  week_->setObjectName(QStringLiteral("GRID_WEEK"));
  week_->setMinimumSize(25 * 18, 8 * 22);
  tab_->addTab(week_, QStringLiteral("STC_SCHEDULE"));
  right->addWidget(tab_, 1);

  auto* row = new QHBoxLayout;
  schedOn_ = new QCheckBox(QStringLiteral("Record on schedule"), this);
  schedOn_->setObjectName(QStringLiteral("CHECK_SCHEDON"));
  row->addWidget(schedOn_);
  row->addWidget(new QLabel(QStringLiteral("Interval"), this));
  interval_ = new QSpinBox(this);
  interval_->setObjectName(QStringLiteral("EDIT_INTERVAL"));
  interval_->setRange(kIntervalMin, kIntervalMax);
  interval_->setValue(kIntervalDefault);
  row->addWidget(interval_);
  row->addStretch(1);
  reset_ = new QPushButton(QStringLiteral("Reset"), this);
  reset_->setObjectName(QStringLiteral("BTN_RESET"));
  row->addWidget(reset_);
  apply_ = new QPushButton(QStringLiteral("STC_APPLY"), this);
  apply_->setObjectName(QStringLiteral("BTN_SCHEDAPPLY"));
  row->addWidget(apply_);
  right->addLayout(row);
  layout->addLayout(right, 1);

  EnableEditors(false);

  connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
  connect(reset_, &QPushButton::clicked, this, [this] { Reset(); });
  connect(apply_, &QPushButton::clicked, this, [this] { ApplySelected(); });
  auto modified = [this] { SetModified(); };
  connect(week_, &MWeek::ButtonDown, this, modified);
  connect(schedOn_, &QCheckBox::clicked, this, modified);
  connect(interval_, &QSpinBox::valueChanged, this, modified);
}

bool CRecordDlg::OnInitDialog() {
  // Tab captions are not among the controls the language relabelling reaches.
  tab_->setTabText(0, FromSystemText(skin_.Text("STC_SCHEDULE")));
  week_->LoadDayLabels([this](const std::string& key) { return skin_.Text(key); });
  BuildTree();
  return true;
}

bool CRecordDlg::IsWindowItem(const QTreeWidgetItem* item) {
  return item && item->data(0, kWindowRole).toInt() >= 0;
}

void CRecordDlg::BuildTree() {
  tree_->blockSignals(true);
  tree_->clear();
  QTreeWidgetItem* reselect = nullptr;
  const std::string pageFormat = skin_.Text("IDS_PAGE_DISPLAY");
  const std::string windowFormat = skin_.Text("IDS_WINDOW_NUM");
  for (int n = 0; n < kPageCount; ++n) {
    auto* pageItem = new QTreeWidgetItem(tree_);
    pageItem->setText(0, FromSystemText(FormatText(pageFormat, {n + 1})));
    pageItem->setData(0, kPageRole, n);
    pageItem->setData(0, kWindowRole, -1);
    for (int w = 0; w < kSlotsPerPage; ++w) {
      CCameraInfo& camera = pages_[n].camera[w];
      // A slot a connect worker holds is left out rather than waiting on the worker.
      if (!camera.lock.TryEnter()) continue;
      const bool assigned = camera.IsAssigned();
      const std::string description = camera.strCamDesc;
      const bool armed = camera.bSchedOn != 0;
      camera.lock.Leave();
      if (!assigned) continue;
      auto* item = new QTreeWidgetItem(pageItem);
      item->setText(0, FromSystemText(FormatText(windowFormat, {w + 1, description})));
      item->setData(0, kPageRole, n);
      item->setData(0, kWindowRole, w);
      item->setData(0, kImageRole, armed ? kImageArmed : kImageIdle);
      item->setIcon(0, style()->standardIcon(armed ? QStyle::SP_DialogApplyButton
                                                   : QStyle::SP_FileIcon));
      if (n == selectedPage_ && w == selectedWindow_) reselect = item;
    }
    pageItem->setExpanded(true);
  }
  tree_->blockSignals(false);
  if (reselect)
    tree_->setCurrentItem(reselect);
  else
    OnSelectionChanged();
}

void CRecordDlg::EnableEditors(bool enable) {
  week_->setEnabled(enable);
  schedOn_->setEnabled(enable);
  apply_->setEnabled(enable);
}

void CRecordDlg::OnSelectionChanged() {
  EnableEditors(false);
  QTreeWidgetItem* item = tree_->currentItem();
  if (IsWindowItem(item) && item->isSelected()) {
    CCameraInfo& camera =
        pages_[item->data(0, kPageRole).toInt()].camera[item->data(0, kWindowRole).toInt()];
    camera.lock.Enter();
    // A window recording by hand shows its timetable but cannot change it.
    week_->LoadSchedule(camera.abySchedule);
    schedOn_->setChecked(camera.bSchedOn != 0);
    const bool editable = camera.nRecKind != kManualRecording;
    camera.lock.Leave();
    EnableEditors(editable);
  }
  week_->update();
}

void CRecordDlg::Reset() {
  week_->SetAllCells(1);
  schedOn_->setChecked(false);
  interval_->setValue(kIntervalAfterReset);
  SetModified();
}

void CRecordDlg::ApplySelected() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!IsWindowItem(item) || !item->isSelected()) {
    EnableEditors(false);
    return;
  }
  const int page = item->data(0, kPageRole).toInt();
  const int window = item->data(0, kWindowRole).toInt();
  ScheduleBytes schedule{};
  week_->StoreSchedule(schedule);
  const ScheduleApplyResult result = ApplyWindowSchedule(
      pages_[page].camera[window], schedule, schedOn_->isChecked(), recordingLock_, recordingCount_);
  switch (result) {
    case ScheduleApplyResult::Overflow:
      schedOn_->setChecked(false);
      platform::MessageBox(MessageOwner(), skin_.Text("IDS_RECNUM_OVERFLOW"), "",
                           platform::MB_OK | platform::MB_ICONEXCLAMATION);
      break;
    case ScheduleApplyResult::RecordingByHand:
      TraceMessage("[KORVEL] - window %d of page %d records by hand: schedule kept", window + 1,
                   page + 1);
      break;
    case ScheduleApplyResult::Armed:
    case ScheduleApplyResult::Disarmed: {
      const bool armed = result == ScheduleApplyResult::Armed;
      item->setData(0, kImageRole, armed ? kImageArmed : kImageIdle);
      item->setIcon(0, style()->standardIcon(armed ? QStyle::SP_DialogApplyButton
                                                   : QStyle::SP_FileIcon));
      break;
    }
    case ScheduleApplyResult::None:
    case ScheduleApplyResult::Stored:
      break;
  }
  selectedPage_ = page;
  selectedWindow_ = window;
}

bool CRecordDlg::OnApply() {
  ApplySelected();
  return CPropertyPage::OnApply();
}

RecordingTally& ClientRecordingTally() {
  static RecordingTally tally;
  return tally;
}

void RegisterSchedulePage(CPageInfo (&pages)[kPageCount], RecordingTally& tally) {
  CPageInfo(*table)[kPageCount] = &pages;
  SetSchedulePageFactory([table, &tally](const CKorvelSkin& skin, void* owner) -> CPropertyPage* {
    return new CRecordDlg(skin, *table, tally.lock, tally.count, owner);
  });
}
