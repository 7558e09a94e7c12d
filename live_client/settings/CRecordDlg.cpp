#include "live_client/settings/CRecordDlg.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/TraceMessage.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/KorvelSkin.h"
#include "common/qt/SystemText.h"
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
constexpr int kTreeMinWidth = 120;
constexpr int kTreeMaxWidth = 160;
// Space around a header text inside its cell, so neighbouring texts never touch.
constexpr int kHeaderTextPadding = 4;
// The hour column must hold the widest hour label.
constexpr const char kWidestHour[] = "23";

}  // namespace

// The tab's page: places the week grid as large as the tab allows, with a width whose
// remainder (the grid gives it to its header column) leaves room for the longest weekday
// name, and tells the page's layout the least size at which every hour and weekday label
// still shows whole. The grid maps the mouse from whatever size it is given.
class CRecordDlg::WeekGridPlace : public QWidget {
 public:
  explicit WeekGridPlace(MWeek* week, QWidget* parent = nullptr) : QWidget(parent), week_(week) {
    week_->setParent(this);
  }

  // Weekday names and the corner text as the grid shows them.
  void SetHeaderTexts(const QStringList& texts) {
    headerTexts_ = texts;
    updateGeometry();
    Place();
  }

  QSize minimumSizeHint() const override {
    const Needs needs = Measure();
    return QSize(needs.hourWidth * kScheduleHours + std::max(needs.hourWidth, needs.dayWidth),
                 needs.rowHeight * (kScheduleDays + 1));
  }
  QSize sizeHint() const override { return minimumSizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    Place();
  }
  void changeEvent(QEvent* event) override {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
      updateGeometry();
      Place();
    }
  }

 private:
  struct Needs {
    int hourWidth;  // least hour column
    int dayWidth;   // least header column
    int rowHeight;  // least row
  };

  Needs Measure() const {
    const QFontMetrics metrics(week_->font());
    int dayWidth = 0;
    for (const QString& text : headerTexts_) dayWidth = std::max(dayWidth, metrics.horizontalAdvance(text));
    const int hourWidth = metrics.horizontalAdvance(QString::fromLatin1(kWidestHour));
    // The header column is an hour column plus the width's remainder over 25 columns, so
    // at most 24 pixels wider: hour columns widen when a name needs more than that.
    const int dayNeed = dayWidth + kHeaderTextPadding;
    const int hourNeed = std::max(hourWidth + kHeaderTextPadding, dayNeed - kScheduleHours);
    return {hourNeed, dayNeed, metrics.height() + kHeaderTextPadding};
  }

  // The widest grid not wider than `available` whose header column holds `needs.dayWidth`.
  static int FittingWidth(int available, const Needs& needs) {
    const MWeek::Geometry whole = MWeek::GeometryFor(available, 1);
    if (whole.x0 >= needs.dayWidth) return available;
    // Header column = day width exactly: 24 hour columns of cw, then the header's width.
    const int cw = (available - needs.dayWidth) / kScheduleHours;
    if (cw <= 0 || needs.dayWidth - cw > kScheduleHours) return available;
    return cw * kScheduleHours + needs.dayWidth;
  }

  void Place() {
    const int gridWidth = FittingWidth(width(), Measure());
    week_->setGeometry((width() - gridWidth) / 2, 0, gridWidth, height());
  }

  MWeek* week_;
  QStringList headerTexts_;
};

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
  // Narrow enough to leave the week grid the rest of the page; longer names scroll.
  tree_->setMinimumWidth(kTreeMinWidth);
  tree_->setMaximumWidth(kTreeMaxWidth);
  layout->addWidget(tree_, 1);

  auto* right = new QVBoxLayout;
  tab_ = new QTabWidget(this);
  tab_->setObjectName(QStringLiteral("TAB_SCHEDULE"));
  week_ = new MWeek;
  week_->setObjectName(QStringLiteral("GRID_WEEK"));
  weekPlace_ = new WeekGridPlace(week_);
  tab_->addTab(weekPlace_, QStringLiteral("STC_SCHEDULE"));
  right->addWidget(tab_, 1);

  // The box on a row of its own, as wide as its text, so the longest language still fits.
  auto* armRow = new QHBoxLayout;
  schedOn_ = new QCheckBox(QStringLiteral("STC_SCHEDON"), this);
  schedOn_->setObjectName(QStringLiteral("CHECK_SCHEDON"));
  armRow->addWidget(schedOn_);
  armRow->addStretch(1);
  right->addLayout(armRow);

  auto* row = new QHBoxLayout;
  auto* intervalLabel = new QLabel(QStringLiteral("STC_INTERVAL"), this);
  intervalLabel->setObjectName(QStringLiteral("STC_INTERVAL"));
  row->addWidget(intervalLabel);
  interval_ = new QSpinBox(this);
  interval_->setObjectName(QStringLiteral("EDIT_INTERVAL"));
  interval_->setRange(kIntervalMin, kIntervalMax);
  interval_->setValue(kIntervalDefault);
  row->addWidget(interval_);
  row->addStretch(1);
  reset_ = new QPushButton(QStringLiteral("STC_RESET"), this);
  reset_->setObjectName(QStringLiteral("BTN_RESET"));
  row->addWidget(reset_);
  apply_ = new QPushButton(QStringLiteral("STC_APPLY"), this);
  apply_->setObjectName(QStringLiteral("BTN_SCHEDAPPLY"));
  row->addWidget(apply_);
  right->addLayout(row);
  layout->addLayout(right, 4);

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
  QStringList headerTexts;
  week_->LoadDayLabels([&](const std::string& key) {
    std::string text = skin_.Text(key);
    headerTexts << FromSystemText(text);
    return text;
  });
  weekPlace_->SetHeaderTexts(headerTexts);
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
