#include "live_client/settings/CTreePropSheet.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "live_client/settings/CPropPageFrameDefault.h"
#include "live_client/settings/CPropertyPage.h"

namespace {
constexpr int kTreeWidth = 180;
// Room for the schedule page's week grid, every hour readable, beside both trees; with its
// frame the sheet still fits a 1024 x 768 screen. Pages that need more widen it.
constexpr int kSheetWidth = 900;
constexpr int kSheetHeight = 540;
}  // namespace

CTreePropSheet::CTreePropSheet(const QString& caption, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CTreePropSheet"));
  setWindowTitle(caption);
  setModal(true);

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("PageTree"));
  tree_->setHeaderHidden(true);
  tree_->setFixedWidth(kTreeWidth);
  tree_->setRootIsDecorated(false);
  frame_ = new CPropPageFrameDefault(this);

  ok_ = new QPushButton(QStringLiteral("STC_OK"), this);
  ok_->setObjectName(QStringLiteral("IDOK"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("STC_CANCEL"), this);
  cancel_->setObjectName(QStringLiteral("IDCANCEL"));
  apply_ = new QPushButton(QStringLiteral("STC_APPLY"), this);
  apply_->setObjectName(QStringLiteral("ID_APPLY_NOW"));
  apply_->setEnabled(false);

  auto* body = new QHBoxLayout;
  body->addWidget(tree_);
  body->addWidget(frame_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addWidget(apply_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);
  resize(kSheetWidth, kSheetHeight);

  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { OnSelectionChanged(item); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (ApplyAll()) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { ApplyAll(); });
}

void CTreePropSheet::AddPage(CPropertyPage* page, int image) {
  page->setParent(frame_);
  page->hide();
  pages_.push_back({page, image});
  connect(page, &CPropertyPage::modifiedChanged, this, [this] { UpdateApplyButton(); });
}

void CTreePropSheet::SetTreeViewMode(bool tree, bool pageCaption, bool treeImages) {
  // The sheet always lists its pages in the tree; the flag is kept for its callers.
  (void)tree;
  pageCaption_ = pageCaption;
  treeImages_ = treeImages;
}

void CTreePropSheet::SetImages(const QList<QIcon>& images, const QSize& size) {
  images_ = images;
  tree_->setIconSize(size);
}

CPropertyPage* CTreePropSheet::GetPage(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[index].page;
}

void CTreePropSheet::BuildTree() {
  tree_->clear();
  bool nested = false;
  for (Entry& entry : pages_) {
    const QStringList path = entry.page->Caption().split(QStringLiteral("::"));
    QTreeWidgetItem* parent = nullptr;
    for (int level = 0; level + 1 < path.size(); ++level) {
      // Groups named by earlier pages are reused, so pages of one group sit together.
      QTreeWidgetItem* found = nullptr;
      const int count = parent ? parent->childCount() : tree_->topLevelItemCount();
      for (int i = 0; i < count && !found; ++i) {
        QTreeWidgetItem* candidate = parent ? parent->child(i) : tree_->topLevelItem(i);
        if (candidate->text(0) == path[level] && candidate->data(0, Qt::UserRole).toInt() < 0)
          found = candidate;
      }
      if (!found) {
        found = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        found->setText(0, path[level]);
        found->setData(0, Qt::UserRole, -1);
        found->setExpanded(true);
      }
      parent = found;
      nested = true;
    }
    entry.item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    entry.item->setText(0, path.back());
    entry.item->setData(0, Qt::UserRole, static_cast<int>(&entry - pages_.data()));
    if (treeImages_ && entry.image >= 0 && entry.image < images_.size())
      entry.item->setIcon(0, images_[entry.image]);
  }
  tree_->setRootIsDecorated(nested);
  tree_->expandAll();
}

void CTreePropSheet::OnSelectionChanged(QTreeWidgetItem* item) {
  if (!item) return;
  const int index = item->data(0, Qt::UserRole).toInt();
  if (index < 0 || index >= PageCount()) {
    frame_->ShowPage(nullptr, item->text(0), emptyPageText_.arg(item->text(0)));
    return;
  }
  CPropertyPage* page = pages_[index].page;
  frame_->ShowPage(page, pageCaption_ ? page->Caption() : QString());
}

void CTreePropSheet::SetActivePage(int index) {
  if (index < 0 || index >= PageCount() || !pages_[index].item) return;
  tree_->setCurrentItem(pages_[index].item);
}

void CTreePropSheet::UpdateApplyButton() {
  bool modified = false;
  for (const Entry& entry : pages_) modified = modified || entry.page->IsModified();
  apply_->setEnabled(modified);
}

bool CTreePropSheet::ApplyAll() {
  for (int i = 0; i < PageCount(); ++i) {
    CPropertyPage* page = pages_[i].page;
    if (!page->IsInitialised()) continue;
    if (!page->OnApply()) {
      SetActivePage(i);
      return false;
    }
  }
  UpdateApplyButton();
  return true;
}

int CTreePropSheet::DoModal() {
  for (Entry& entry : pages_) entry.page->InitPage();
  // Labelled pages may need more room than their placeholders did.
  frame_->updateGeometry();
  BuildTree();
  UpdateApplyButton();
  SetActivePage(0);
  return exec();
}
