#include "live_client/settings/CDiscoveryListDlg.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/qt/SystemText.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"

CDiscoveryListDlg::CDiscoveryListDlg(const CKorvelSkin& skin, std::vector<CML_DISCOVERED> cameras,
                                     QWidget* parent)
    : QDialog(parent), cameras_(std::move(cameras)) {
  setObjectName(QStringLiteral("CDiscoveryListDlg"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("LIST_DISCOVERY"));
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setAllColumnsShowFocus(true);
  list_->setColumnCount(3);
  QStringList headers;
  for (const char* key : {"IDS_SVR_ADDR", "IDS_DISCOVERY_MODEL", "IDS_DISCOVERY_NAME"})
    headers << FromSystemText(skin.Text(key));
  list_->setHeaderLabels(headers);
  // Cameras name themselves in UTF-8, whatever the operator's language.
  for (const CML_DISCOVERED& camera : cameras_) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QStringLiteral("%1:%2").arg(QString::fromUtf8(camera.szAddress)).arg(camera.wOnvifPort));
    item->setText(1, QString::fromUtf8(camera.szModel));
    item->setText(2, QString::fromUtf8(camera.szName));
  }
  for (int column = 0; column < 3; ++column) list_->resizeColumnToContents(column);
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
  layout->addWidget(list_, 1);

  layout->addLayout(MakeOkCancelRow(this));
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &CDiscoveryListDlg::accept);

  setWindowTitle(FromSystemText(skin.Text("IDS_DISCOVERY_CAPTION")));
  RelabelControls(this, skin);
  resize(480, 240);
}

void CDiscoveryListDlg::accept() {
  QTreeWidgetItem* current = list_->currentItem();
  if (current == nullptr) return;  // nothing to fill the slot with
  chosen_ = list_->indexOfTopLevelItem(current);
  QDialog::accept();
}
