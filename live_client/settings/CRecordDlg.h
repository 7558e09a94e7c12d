#pragma once

// Settings page of the weekly recording timetable. The operator picks a window from a tree of
// display pages and their assigned windows, paints its hours in the week grid, arms or disarms
// its schedule and applies. Apply (the page's button, or OK / Apply of the sheet) stores the
// timetable of the selected window through ApplyWindowSchedule: arming takes one unit of the
// client's recording count, refused at its limit with the overflow message; a window recording
// by hand keeps its schedule. The timetable lives only while the client runs. User-interface
// thread only.

#include <QString>

#include "live_client/core/PageInfo.h"
#include "live_client/settings/CPropertyPage.h"
#include "platform/Sync.h"

class MWeek;
class QCheckBox;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class CRecordDlg : public CPropertyPage {
  Q_OBJECT

 public:
  // Tree images of a window item: schedule armed, not armed.
  static constexpr int kImageArmed = 5;
  static constexpr int kImageIdle = 1;
  // Data roles of a tree item: page index, window index (-1 on a page item), image index.
  static constexpr int kPageRole = Qt::UserRole;
  static constexpr int kWindowRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;

  // `pages`, `recordingLock` and `recordingCount` outlive the page. `recordingCount` (manual
  // recordings plus armed schedules) is guarded by `recordingLock`.
  CRecordDlg(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount],
             platform::CriticalSection& recordingLock, int& recordingCount, void* owner,
             QWidget* parent = nullptr);

  bool OnApply() override;
  // Reset button: the whole week selected, schedule unarmed, interval 30. Stores nothing.
  void Reset();
  // Rebuilds the tree from the page table, selecting the remembered window again.
  void BuildTree();

 protected:
  bool OnInitDialog() override;

 private:
  void OnSelectionChanged();
  void EnableEditors(bool enable);
  // Stores the grid into the selected window; nothing when a page item or nothing is selected.
  void ApplySelected();
  static bool IsWindowItem(const QTreeWidgetItem* item);

  class WeekGridPlace;

  CPageInfo (&pages_)[kPageCount];
  platform::CriticalSection& recordingLock_;
  int& recordingCount_;
  QTabWidget* tab_ = nullptr;
  MWeek* week_ = nullptr;
  WeekGridPlace* weekPlace_ = nullptr;  // the tab's page holding week_
  QTreeWidget* tree_ = nullptr;
  QCheckBox* schedOn_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* apply_ = nullptr;
  // The window applied last, selected again when the tree is rebuilt; -1 none.
  int selectedPage_ = -1;
  int selectedWindow_ = -1;
};

// The client's recording count (manual recordings plus armed schedules) and its lock, for as
// long as the program runs.
struct RecordingTally {
  platform::CriticalSection lock;
  int count = 0;
};
RecordingTally& ClientRecordingTally();

// Gives the settings sheet its schedule page, editing `pages` against `tally`.
void RegisterSchedulePage(CPageInfo (&pages)[kPageCount], RecordingTally& tally);
