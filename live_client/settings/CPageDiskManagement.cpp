#include "live_client/settings/CPageDiskManagement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/TraceMessage.h"
#include "live_client/skin/KorvelSkin.h"
#include "common/qt/SystemText.h"
#include "live_client/skin/TextFormat.h"
#include "platform/Paths.h"

namespace {

constexpr std::uint64_t kBytesPerMB = 1u << 20;

CPageDiskManagement::FolderChooser& Chooser() {
  static CPageDiskManagement::FolderChooser chooser;
  return chooser;
}

std::string ChooseWithDialog(QWidget* parent, const QString& title, const std::string& start) {
  const QString chosen = QFileDialog::getExistingDirectory(
      parent, title, QString::fromStdString(platform::ToHostPath(start)));
  if (chosen.isEmpty()) return {};
  return platform::ToWindowsPath(chosen.toStdString());
}

QRadioButton* AddRadio(QWidget* parent, QButtonGroup* group, QLayout* layout, const char* text,
                       const char* name, int id) {
  auto* radio = new QRadioButton(QString::fromLatin1(text), parent);
  radio->setObjectName(QString::fromLatin1(name));
  group->addButton(radio, id);
  layout->addWidget(radio);
  return radio;
}

}  // namespace

void CPageDiskManagement::SetFolderChooser(FolderChooser chooser) { Chooser() = std::move(chooser); }

CPageDiskManagement::CPageDiskManagement(const CKorvelSkin& skin, CKorvelSettings& settings,
                                         const std::vector<std::string>& diskList, void* owner,
                                         platform::CriticalSection* settingsLock, QWidget* parent)
    : CPropertyPage(skin, "IDS_DISKDLG_CAPTION", owner, parent),
      settings_(settings),
      diskList_(diskList),
      settingsLock_(settingsLock) {
  setObjectName(QStringLiteral("CPageDiskManagement"));
  auto* layout = new QVBoxLayout(this);

  auto* grid = new QGridLayout;
  auto* freeSpaceLabel = new QLabel(QStringLiteral("STC_FREESPACE"), this);
  grid->addWidget(freeSpaceLabel, 0, 0);
  freeSpace_ = new QLineEdit(this);
  freeSpace_->setObjectName(QStringLiteral("EDIT_FREESPACE"));
  freeSpaceLabel->setBuddy(freeSpace_);  // names the field in the messages about it
  grid->addWidget(freeSpace_, 0, 1);
  auto* diskNumberLabel = new QLabel(QStringLiteral("STC_DISKNUMBER"), this);
  grid->addWidget(diskNumberLabel, 1, 0);
  diskNumber_ = new QLineEdit(this);
  diskNumber_->setObjectName(QStringLiteral("EDIT_DISKNUMBER"));
  diskNumberLabel->setBuddy(diskNumber_);
  grid->addWidget(diskNumber_, 1, 1);
  layout->addLayout(grid);

  auto* choiceRow = new QHBoxLayout;
  diskChoice_ = new QButtonGroup(this);
  AddRadio(this, diskChoice_, choiceRow, "STC_DISKCHOICE1", "RADIO_DISKCHOICE1", 0);
  AddRadio(this, diskChoice_, choiceRow, "STC_DISKCHOICE2", "RADIO_DISKCHOICE2", 1);
  diskFlag_ = new QCheckBox(QStringLiteral("STC_DISKFLAG"), this);
  diskFlag_->setObjectName(QStringLiteral("CHECK_DISKFLAG"));
  choiceRow->addWidget(diskFlag_);
  choiceRow->addStretch(1);
  layout->addLayout(choiceRow);

  auto* snapBox = new QGroupBox(QStringLiteral("STC_SNAPFORMAT"), this);
  auto* snapRow = new QHBoxLayout(snapBox);
  snapFormat_ = new QButtonGroup(this);
  AddRadio(snapBox, snapFormat_, snapRow, "STC_SNAP_JPG", "RADIO_SNAP_JPG", 0);
  AddRadio(snapBox, snapFormat_, snapRow, "STC_SNAP_BMP", "RADIO_SNAP_BMP", 1);
  snapRow->addStretch(1);
  layout->addWidget(snapBox);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(new QLabel(QStringLiteral("STC_SNAPPATH"), this));
  snapPath_ = new QLineEdit(this);
  snapPath_->setObjectName(QStringLiteral("EDIT_SNAPPATH"));
  pathRow->addWidget(snapPath_, 1);
  browse_ = new QPushButton(QStringLiteral("STC_BROWSE"), this);
  browse_->setObjectName(QStringLiteral("BTN_BROWSE"));
  pathRow->addWidget(browse_);
  layout->addLayout(pathRow);

  layout->addWidget(new QLabel(QStringLiteral("STC_RECDRIVES"), this));
  drives_ = new QListWidget(this);
  drives_->setObjectName(QStringLiteral("LIST_RECDRIVES"));
  drives_->setSelectionMode(QAbstractItemView::MultiSelection);
  layout->addWidget(drives_, 1);

  connect(browse_, &QPushButton::clicked, this, [this] {
    SetModified();
    Browse();
  });
  auto modified = [this] { SetModified(); };
  connect(freeSpace_, &QLineEdit::textEdited, this, modified);
  connect(diskNumber_, &QLineEdit::textEdited, this, modified);
  connect(snapPath_, &QLineEdit::textEdited, this, modified);
  connect(diskChoice_, &QButtonGroup::idClicked, this, modified);
  connect(snapFormat_, &QButtonGroup::idClicked, this, modified);
  connect(diskFlag_, &QCheckBox::clicked, this, modified);
  connect(drives_, &QListWidget::itemSelectionChanged, this, modified);
}

bool CPageDiskManagement::OnInitDialog() {
  freeSpace_->setText(QString::number(settings_.m_nFreeSpaceMB));
  diskNumber_->setText(QString::number(settings_.m_nDiskNumber));
  if (QAbstractButton* choice = diskChoice_->button(settings_.m_nDiskChoice)) choice->setChecked(true);
  diskFlag_->setChecked(settings_.m_bDiskFlag != 0);
  if (QAbstractButton* format = snapFormat_->button(settings_.m_nSnapFormat)) format->setChecked(true);
  snapPath_->setText(FromSystemText(settings_.m_strSnapPath));

  drives_->blockSignals(true);
  drives_->clear();
  for (std::size_t k = 0; k < diskList_.size(); ++k) {
    // The volume's free space: the figure the drive watchdog judges the drive by.
    platform::DiskSpace space;
    const int freeMB = platform::GetDiskFreeSpace(diskList_[k], space)
                           ? static_cast<int>(std::min<std::uint64_t>(space.total_free_bytes / kBytesPerMB, INT_MAX))
                           : 0;
    auto* item = new QListWidgetItem(
        FromSystemText(FormatText("%s %dMB", {diskList_[k], freeMB})), drives_);
    const bool allowed = settings_.m_nRecDriveMask == 0 ||
                         (k < 31 && (settings_.m_nRecDriveMask & (1 << k)) != 0);
    item->setSelected(allowed);
  }
  drives_->blockSignals(false);
  return true;
}

void CPageDiskManagement::Browse() {
  const QString title = FromSystemText(skin_.Text("IDS_CHOOSE_SNAPPATH"));
  const std::string start = settings_.m_strSnapPath;
  const std::string chosen = Chooser() ? Chooser()(title, start) : ChooseWithDialog(this, title, start);
  if (chosen.empty()) return;
  // Taken at once, not only on apply: the snapshot command uses the new folder right away.
  if (settingsLock_) settingsLock_->Enter();
  settings_.m_strSnapPath = chosen;
  if (settingsLock_) settingsLock_->Leave();
  snapPath_->setText(FromSystemText(chosen));
  SetModified();
}

bool CPageDiskManagement::OnApply() {
  int freeSpace = 0;
  int diskNumber = 0;
  if (!ExchangeInt(skin_, freeSpace_, kMinFreeSpaceMB, kMaxFreeSpaceMB, freeSpace, MessageOwner()) ||
      !ExchangeInt(skin_, diskNumber_, -2147483647 - 1, 2147483647, diskNumber, MessageOwner()))
    return false;

  if (settingsLock_) settingsLock_->Enter();
  settings_.m_nFreeSpaceMB = freeSpace;
  settings_.m_nDiskNumber = diskNumber;
  settings_.m_nDiskChoice = diskChoice_->checkedId() < 0 ? 0 : diskChoice_->checkedId();
  settings_.m_bDiskFlag = diskFlag_->isChecked() ? 1 : 0;
  settings_.m_nSnapFormat = snapFormat_->checkedId() < 0 ? 0 : snapFormat_->checkedId();
  settings_.m_strSnapPath = ToSystemText(snapPath_->text());

  int mask = 0;
  for (int k = 0; k < drives_->count() && k < 31; ++k)
    if (drives_->item(k)->isSelected()) mask |= 1 << k;
  if (mask == 0) mask = 1;
  settings_.m_nRecDriveMask = mask;

  // The current drive is judged against the mask just stored, so with nothing selected the
  // first drive, which stays allowed, keeps recording.
  if (!settings_.m_strRecDrive.empty()) {
    for (std::size_t k = 0; k < diskList_.size() && k < 31; ++k) {
      const std::string& root = diskList_[k];
      if (root.empty() || settings_.m_strRecDrive.compare(0, root.size(), root) != 0) continue;
      if ((mask & (1 << k)) == 0) {
        TraceMessage("[KORVEL] - recording drive %s no longer allowed",
                     settings_.m_strRecDrive.c_str());
        settings_.m_strRecDrive.clear();
      }
      break;
    }
  }
  if (settingsLock_) settingsLock_->Leave();
  return CPropertyPage::OnApply();
}
