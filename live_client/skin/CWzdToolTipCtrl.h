#pragma once

// Tooltips of the main dialog: one tool per control, its text the language text of the
// control's key in section "TIP_STRING".

#include <string>
#include <utility>
#include <vector>

#include <QPointer>
#include <QWidget>

class CKorvelSkin;

class CWzdToolTipCtrl {
 public:
  // Registers `control` with the text of `key`. A missing text shows the reader's message and
  // leaves the control without a tooltip; false then.
  bool AddTool(QWidget* control, const std::string& key, const CKorvelSkin& skin);
  int ToolCount() const { return static_cast<int>(tools_.size()); }

 private:
  std::vector<std::pair<QPointer<QWidget>, std::string>> tools_;
};
