#include "live_client/settings/CPropertyPage.h"

#include <QLabel>
#include <QLineEdit>
#include <cerrno>
#include <cstdlib>

#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"
#include "live_client/skin/TextFormat.h"
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

namespace {

// A language text, or `fallback` when the language file has none (the reader has then said so).
std::string TextOr(const CKorvelSkin& skin, const char* key, const char* fallback) {
  std::string text = skin.Text(key);
  return text.empty() ? std::string(fallback) : text;
}

}  // namespace

QString FieldName(const QLineEdit* field) {
  if (!field || !field->parentWidget()) return {};
  for (const QLabel* label : field->parentWidget()->findChildren<QLabel*>()) {
    if (label->buddy() != field) continue;
    QString name = label->text().trimmed();
    while (name.endsWith(QLatin1Char(':')) || name.endsWith(QChar(0xFF1A)))  // ':' and its wide form
      name.chop(1);
    return name.trimmed();
  }
  return {};
}

void RefuseField(const CKorvelSkin& skin, QLineEdit* field, const std::string& text, void* owner) {
  const QString name = FieldName(field);
  const std::string shown =
      name.isEmpty() ? text
                     : FormatText(TextOr(skin, "IDS_FIELD_MESSAGE", "%s: %s"), {ToSystemText(name), text});
  platform::MessageBox(owner, shown, "", platform::MB_OK | platform::MB_ICONEXCLAMATION);
  field->setFocus();
  field->selectAll();
}

bool ExchangeInt(const CKorvelSkin& skin, QLineEdit* field, int minimum, int maximum, int& value,
                 void* owner) {
  const std::string text = field->text().trimmed().toStdString();
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  const bool number = !text.empty() && end && *end == '\0' && errno != ERANGE &&
                      parsed >= -2147483647L - 1 && parsed <= 2147483647L;
  if (!number) {
    RefuseField(skin, field, TextOr(skin, "IDS_ENTER_INTEGER", "Please enter an integer."), owner);
    return false;
  }
  if (parsed < minimum || parsed > maximum) {
    const std::string format =
        TextOr(skin, "IDS_ENTER_INTEGER_RANGE", "Please enter an integer between %d and %d.");
    RefuseField(skin, field,
                FormatText(format, {static_cast<long long>(minimum), static_cast<long long>(maximum)}),
                owner);
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}
