#include "live_client/settings/CPageSet.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/settings/CCameraSetDlg.h"
#include "live_client/skin/CFlatCheck.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinReader.h"
#include "common/qt/SystemText.h"

namespace {
constexpr int kPortColumnWidth = 80;
// Widths of the other columns, so that all six fit the page without scrolling.
constexpr int kColumnWidths[5] = {60, 110, 110, 110, 60};
constexpr const char* kColumnKeys[6] = {"IDS_DISP_WND", "IDS_CAM_DESC", "IDS_SVR_DESC",
                                        "IDS_SVR_ADDR", "IDS_SVR_CHN",  "IDS_SVR_PORT"};
}  // namespace

CPageSet::CPageSet(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount], void* owner,
                   QWidget* parent)
    : CPropertyPage(skin, "IDS_PAGESETDLG_CAPTION", owner, parent), pages_(pages) {
  setObjectName(QStringLiteral("CPageSet"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("STC_PAGES"), this));
  for (int k = 0; k < kPageCount; ++k) {
    auto* button = new CFlatCheck(this, IDC_PAGECHECK_FIRST + k);
    button->setObjectName(QStringLiteral("PAGECHECK_%1").arg(IDC_PAGECHECK_FIRST + k));
    button->setText(QString::number(k + 1));
    button->setFixedSize(48, 24);
    connect(button, &CFlatCheck::parentMessage, this, &CPageSet::OnFlatCheck);
    buttons_[k] = button;
    row->addWidget(button);
  }
  row->addStretch(1);
  layout->addLayout(row);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("LIST_CAMERA"));
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  list_->setColumnCount(6);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Grid lines between the cells, as a report list shows them. Styling the cells drops the
  // toolkit's own selection colours (the selected row's text vanished into its background), so
  // the selected row is given white text on a dark blue, focused or not.
  list_->setStyleSheet(QStringLiteral(
      "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
      "QTreeView::item:selected { background: #1f4e8c; color: white; }"
      "QTreeView::item:selected:!active { background: #1f4e8c; color: white; }"));
  layout->addWidget(list_, 1);

  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("CameraListMenu"));
  QAction* edit = menu_->addAction(QStringLiteral("IDS_MENU_CAMERA_EDIT"));
  edit->setObjectName(QStringLiteral("Menu%1").arg(ID_MENU_CAMERA_EDIT));
  edit->setEnabled(true);

  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.size() != 1) return;
    EditWindow(list_->indexOfTopLevelItem(selected.front()));
  });
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.size() != 1) return;
    pages_[page_].nEditWnd = list_->indexOfTopLevelItem(selected.front());
    menu_->popup(list_->viewport()->mapToGlobal(at));
  });
}

bool CPageSet::OnInitDialog() {
  // The page buttons wear the theme's page-button pictures; without them they keep a plain face.
  std::string bitmap;
  if (ReadConfigString("BTN_PAGECHECK", "BMPNAME", skin_.ThemeFile(), bitmap))
    for (CFlatCheck* button : buttons_) button->LoadBitmaps(skin_.SkinFolder(), bitmap);
  QStringList headers;
  for (const char* key : kColumnKeys) headers << FromSystemText(skin_.Text(key));
  list_->setHeaderLabels(headers);
  list_->header()->setStretchLastSection(false);
  for (int column = 0; column < 5; ++column) list_->header()->resizeSection(column, kColumnWidths[column]);
  list_->header()->resizeSection(5, kPortColumnWidth);
  list_->headerItem()->setTextAlignment(5, Qt::AlignCenter);
  if (QAction* edit = menu_->actions().value(0)) {
    const std::string text = skin_.Text("IDS_MENU_CAMERA_EDIT");
    if (!text.empty()) edit->setText(FromSystemText(text));
  }
  SelectPage(page_);
  return true;
}

void CPageSet::OnFlatCheck(unsigned, quintptr id, qintptr down) {
  if (down != 0) return;  // the page changes when the button is released
  const int page = static_cast<int>(id) - IDC_PAGECHECK_FIRST;
  if (page >= 0 && page < kPageCount) SelectPage(page);
}

void CPageSet::SelectPage(int page) {
  if (page < 0 || page >= kPageCount) return;
  buttons_[page_]->SetCheck(false);
  page_ = page;
  buttons_[page_]->SetCheck(true);
  FillList();
}

void CPageSet::FillList() {
  list_->clear();
  for (int w = 0; w < kSlotsPerPage; ++w) {
    const CCameraInfo& slot = pages_[page_].camera[w];
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QString::number(w + 1));
    item->setText(1, FromSystemText(slot.strCamDesc));
    item->setText(2, FromSystemText(slot.strSvrDesc));
    item->setText(3, FromSystemText(slot.strAddr));
    // A network camera's channel is its profile: named as the camera names it, once known.
    const std::string profile = SlotProfileText(page_, w);
    item->setText(4, QString::number(slot.nChannel) +
                         (profile.empty() ? QString() : QStringLiteral("  ") + FromSystemText(profile)));
    item->setText(5, QString::number(slot.nPort));
    item->setTextAlignment(5, Qt::AlignCenter);
  }
}

bool CPageSet::EditWindow(int window) {
  if (window < 0 || window >= kSlotsPerPage) return false;
  pages_[page_].nEditWnd = window;
  CCameraSetDlg dialog(skin_, pages_, page_, window, MessageOwner(), this);
  if (dialog.exec() != QDialog::Accepted) return false;
  FillList();
  if (auto* item = list_->topLevelItem(window)) list_->setCurrentItem(item);
  return dialog.Stored();
}
