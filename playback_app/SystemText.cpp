#include "playback_app/SystemText.h"

#include <QPainter>

#include "platform/Files.h"
#include "platform/MessageBox.h"

namespace lumaro {

QImage LoadImageFile(const std::string& path, const QColor& background) {
  std::string upper = path;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  auto endsWith = [&](const char* suffix) {
    const std::string s(suffix);
    return upper.size() >= s.size() && upper.compare(upper.size() - s.size(), s.size(), s) == 0;
  };
  const char* format = nullptr;
  if (endsWith(".BMP")) format = "BMP";
  else if (endsWith(".JPG") || endsWith(".JPEG")) format = "JPG";
  else if (endsWith(".GIF")) format = "GIF";
  else if (endsWith(".ICO")) format = "ICO";

  QImage image;
  std::string bytes;
  if (format && platform::ReadWholeFile(path, bytes))
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()),
                       format);
  if (image.isNull()) {
    platform::MessageBox(nullptr, "LOAD IMAGE FAIL. [PATH]: " + path, "Lumaro",
                         platform::MB_OK | platform::MB_ICONERROR);
    return {};
  }
  if (background.isValid() && image.hasAlphaChannel()) {
    QImage filled(image.size(), QImage::Format_RGB32);
    filled.fill(background);
    QPainter painter(&filled);
    painter.drawImage(0, 0, image);
    return filled;
  }
  return image;
}

}  // namespace lumaro
