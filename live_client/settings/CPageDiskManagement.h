#pragma once

// Settings page of the recording disks and snapshots: the minimum free space (600..1000000 MB),
// three settings kept for the recorder's operators without effect in the client, the snapshot
// format and folder, and which drives may take recordings.
//
// Apply writes the fields to the client's settings. The drive mask becomes the selected lines,
// or only the first drive when none is selected (recording always has somewhere to go). When
// the current recording drive is no longer allowed it is cleared, so the drive watchdog picks a
// new one within a second. User-interface thread only.

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "live_client/core/KorvelConfig.h"
#include "live_client/settings/CPropertyPage.h"
#include "platform/Sync.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

inline constexpr int kMinFreeSpaceMB = 600;
inline constexpr int kMaxFreeSpaceMB = 1000000;

class CPageDiskManagement : public CPropertyPage {
  Q_OBJECT

 public:
  // Asks the operator for a folder: (title, current folder in Windows form) -> chosen folder in
  // Windows form, "" when cancelled.
  using FolderChooser = std::function<std::string(const QString& title, const std::string& start)>;
  // Replaces the folder chooser (tests); an empty function restores the platform's dialog.
  static void SetFolderChooser(FolderChooser chooser);

  // `settings` and `diskList` (the roots of the recording drives) outlive the page. Apply
  // writes the settings under `settingsLock` (may be null), which the recording code holds
  // while it reads them.
  CPageDiskManagement(const CKorvelSkin& skin, CKorvelSettings& settings,
                      const std::vector<std::string>& diskList, void* owner,
                      platform::CriticalSection* settingsLock = nullptr, QWidget* parent = nullptr);

  bool OnApply() override;
  // The browse button's work.
  void Browse();

 protected:
  bool OnInitDialog() override;

 private:
  CKorvelSettings& settings_;
  const std::vector<std::string>& diskList_;
  platform::CriticalSection* settingsLock_;
  QLineEdit* freeSpace_ = nullptr;
  QButtonGroup* diskChoice_ = nullptr;
  QCheckBox* diskFlag_ = nullptr;
  QLineEdit* diskNumber_ = nullptr;
  QButtonGroup* snapFormat_ = nullptr;
  QLineEdit* snapPath_ = nullptr;
  QPushButton* browse_ = nullptr;
  QListWidget* drives_ = nullptr;
};
