#pragma once

// The cameras a search found, one row each (address and services port, model, name); the
// operator picks one with OK or a double click. User-interface thread only.

#include <QDialog>
#include <vector>

#include "camera_link/Camlink.h"

class CKorvelSkin;
class QTreeWidget;

class CDiscoveryListDlg : public QDialog {
  Q_OBJECT

 public:
  CDiscoveryListDlg(const CKorvelSkin& skin, std::vector<CML_DISCOVERED> cameras,
                    QWidget* parent = nullptr);

  // The row chosen by OK or a double click; -1 before, or when nothing was selected.
  int Chosen() const { return chosen_; }
  const CML_DISCOVERED& Camera(int row) const { return cameras_.at(static_cast<size_t>(row)); }
  QTreeWidget* List() const { return list_; }

 protected:
  void accept() override;

 private:
  std::vector<CML_DISCOVERED> cameras_;
  QTreeWidget* list_ = nullptr;
  int chosen_ = -1;
};
