#pragma once

// A property sheet whose pages are listed in a tree on the left instead of a row of tabs.
// Selecting an item shows its page in the frame on the right, under the page's caption. A page
// caption may name a path, "Group::Page": the group becomes an item of its own without a page,
// and selecting it shows the empty-page text ("%s" stands for the item's text).
//
// OK and Apply write every page back (CPropertyPage::OnApply, in page order); a page that
// refuses is brought to the front and the sheet stays open. User-interface thread only.

#include <QDialog>
#include <QIcon>
#include <QList>
#include <vector>

class CPropertyPage;
class CPropPageFrameDefault;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CTreePropSheet : public QDialog {
  Q_OBJECT

 public:
  explicit CTreePropSheet(const QString& caption, QWidget* parent = nullptr);

  // Pages in tree order; the sheet takes them over. `image`: index into the image list, -1 none.
  void AddPage(CPropertyPage* page, int image = -1);
  // Tree mode with page captions and images.
  void SetTreeViewMode(bool tree, bool pageCaption, bool treeImages);
  void SetImages(const QList<QIcon>& images, const QSize& size);
  void SetEmptyPageText(const QString& text) { emptyPageText_ = text; }
  void SetActivePage(int index);

  // Initialises every page, shows the first and runs the sheet. QDialog::Accepted on OK.
  int DoModal();
  // OK and Apply without a click: writes every page back; false when one refused.
  bool ApplyAll();

  int PageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;
  CPropPageFrameDefault* Frame() const { return frame_; }
  QTreeWidget* Tree() const { return tree_; }

 private:
  void BuildTree();
  void OnSelectionChanged(QTreeWidgetItem* item);
  void UpdateApplyButton();

  struct Entry {
    CPropertyPage* page;
    int image;
    QTreeWidgetItem* item = nullptr;
  };
  std::vector<Entry> pages_;
  QTreeWidget* tree_ = nullptr;
  CPropPageFrameDefault* frame_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  QList<QIcon> images_;
  QString emptyPageText_;
  bool pageCaption_ = true;
  bool treeImages_ = true;
};
