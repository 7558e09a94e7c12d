#include "common/qt/SystemText.h"

#include "platform/TimeText.h"

QString FromSystemText(std::string_view text) {
  const std::string utf8 = platform::GbkToUtf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToSystemText(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return platform::Utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}
