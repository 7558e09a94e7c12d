#include "live_client/settings/CPropertyPage.h"

#include <QLineEdit>
#include <cerrno>
#include <cstdlib>

#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"
#include "common/qt/SystemText.h"
#include "platform/MessageBox.h"

CPropertyPage::CPropertyPage(const CKorvelSkin& skin, const char* captionKey, void* owner,
                             QWidget* parent)
    : QWidget(parent), skin_(skin), owner_(owner), captionKey_(captionKey) {
  caption_ = QString::fromLatin1(captionKey);
}

bool CPropertyPage::InitPage() {
  if (initialised_) return initResult_;
  initialised_ = true;
  if (skin_.LanguageFile().empty()) {
    platform::MessageBox(MessageOwner(), "INVLID USER INTERFACE THEME", "", platform::MB_OK);
    initResult_ = false;
    return false;
  }
  RelabelControls(this, skin_);
  const std::string caption = skin_.Text(captionKey_);
  if (!caption.empty()) caption_ = FromSystemText(caption);
  initResult_ = OnInitDialog();
  SetModified(false);
  return initResult_;
}

bool CPropertyPage::OnApply() {
  SetModified(false);
  return true;
}

void CPropertyPage::SetModified(bool modified) {
  if (modified_ == modified) return;
  modified_ = modified;
  emit modifiedChanged(modified);
}

bool ExchangeInt(QLineEdit* field, int minimum, int maximum, int& value, void* owner) {
  const std::string text = field->text().trimmed().toStdString();
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  const bool number = !text.empty() && end && *end == '\0' && errno != ERANGE &&
                      parsed >= -2147483647L - 1 && parsed <= 2147483647L;
  if (!number) {
    platform::MessageBox(owner, "Please enter an integer.", "", platform::MB_OK | platform::MB_ICONEXCLAMATION);
    field->setFocus();
    field->selectAll();
    return false;
  }
  if (parsed < minimum || parsed > maximum) {
    platform::MessageBox(owner,
                         "Please enter an integer between " + std::to_string(minimum) + " and " +
                             std::to_string(maximum) + ".",
                         "", platform::MB_OK | platform::MB_ICONEXCLAMATION);
    field->setFocus();
    field->selectAll();
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}
