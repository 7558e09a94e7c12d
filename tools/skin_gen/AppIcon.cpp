#include "AppIcon.h"

#include <QDir>
#include <QImage>

#include <algorithm>
#include <cstdio>

namespace skin_gen {

namespace {

QImage Enlarge(const QImage& picture, int size) {
  const int longest = std::max(picture.width(), picture.height());
  const int factor = std::max(1, size / longest);
  QImage image = picture.scaled(picture.size() * factor, Qt::KeepAspectRatio, Qt::FastTransformation);
  if (image.width() != size && image.height() != size)
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  // A picture that is not square sits in the middle of a transparent square.
  if (image.width() == size && image.height() == size) return image;
  QImage square(size, size, QImage::Format_ARGB32);
  square.fill(Qt::transparent);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      square.setPixelColor(x + (size - image.width()) / 2, y + (size - image.height()) / 2,
                           image.pixelColor(x, y));
  return square;
}

}  // namespace

bool WriteAppIcons(const QString& source, const QString& name, const QString& themeFolder) {
  QImage picture(source);
  if (picture.isNull()) {
    std::fprintf(stderr, "skin_gen: cannot read the icon %s\n", source.toLocal8Bit().constData());
    return false;
  }
  picture = picture.convertToFormat(QImage::Format_ARGB32);
  bool ok = true;
  for (int size : kAppIconSizes) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeFolder).arg(size);
    const QString path = folder + "/" + name + ".png";
    if (!QDir().mkpath(folder) || !Enlarge(picture, size).save(path, "PNG")) {
      std::fprintf(stderr, "skin_gen: cannot write %s\n", path.toLocal8Bit().constData());
      ok = false;
    }
  }
  return ok;
}

}  // namespace skin_gen
