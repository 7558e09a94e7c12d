#include "live_client/skin/CWzdToolTipCtrl.h"

#include "live_client/skin/KorvelSkin.h"
#include "common/qt/SystemText.h"

bool CWzdToolTipCtrl::AddTool(QWidget* control, const std::string& key, const CKorvelSkin& skin) {
  if (!control) return false;
  std::string text;
  if (!skin.ReadText("TIP_STRING", key, text)) return false;
  control->setToolTip(FromSystemText(text));
  tools_.emplace_back(control, key);
  return true;
}
