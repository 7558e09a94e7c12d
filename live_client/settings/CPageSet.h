#pragma once

// Settings page that assigns cameras to the windows of the five display pages: five page
// buttons (control ids 1180..1184) choose the display page, the list shows its 25 windows with
// their cameras. A double click on one row opens the camera dialog for that window; a right
// click opens the list's context menu. User-interface thread only.

#include <array>

#include "live_client/core/PageInfo.h"
#include "live_client/settings/CPropertyPage.h"

class CFlatCheck;
class QMenu;
class QTreeWidget;

inline constexpr int IDC_PAGECHECK_FIRST = 1180;
inline constexpr unsigned ID_MENU_CAMERA_EDIT = 32842;

class CPageSet : public CPropertyPage {
  Q_OBJECT

 public:
  CPageSet(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount], void* owner,
           QWidget* parent = nullptr);

  int SelectedPage() const { return page_; }
  // Chooses display page `page` as button 1180 + page does, and refills the list.
  void SelectPage(int page);
  // Opens the camera dialog for `window` of the chosen page (what a double click does).
  // True when it stored new values.
  bool EditWindow(int window);
  QTreeWidget* List() const { return list_; }
  QMenu* ContextMenu() const { return menu_; }

 protected:
  bool OnInitDialog() override;

 private:
  void FillList();
  void OnFlatCheck(unsigned message, quintptr id, qintptr down);

  CPageInfo (&pages_)[kPageCount];
  int page_ = 0;
  std::array<CFlatCheck*, kPageCount> buttons_{};
  QTreeWidget* list_ = nullptr;
  QMenu* menu_ = nullptr;
};
