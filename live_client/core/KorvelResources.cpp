#include "live_client/core/KorvelResources.h"

#include <QFile>
#include <QPixmap>

#include "live_client/core/KorvelIds.h"

// Outside any namespace, as the resource initialiser requires.
static void InitKorvelResourceBundle() { Q_INIT_RESOURCE(korvel); }

namespace {

void EnsureBundle() {
  static const bool initialised = [] {
    InitKorvelResourceBundle();
    return true;
  }();
  (void)initialised;
}

// Body colour of the camera glyph for each tree image.
const char* BodyColor(int index) {
  switch (index) {
    case korvel::kTreeImageConnected: return "#3CC35A";   // green: live
    case korvel::kTreeImageUnassigned: return "#8A939E";  // grey: nothing assigned
    case korvel::kTreeImagePending: return "#F0B429";     // amber: command pending
    case korvel::kTreeImageAssigned: return "#4A90D9";    // blue: assigned, not tried
    case korvel::kTreeImageFailed: return "#D93B3B";      // red: tried, not connected
    default: return nullptr;
  }
}

QByteArray ReadResource(const char* path) {
  EnsureBundle();
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

}  // namespace

namespace KorvelResources {

bool Available() {
  return !ProgramIcon().isNull() && !TreeImagePicture(korvel::kTreeImageConnected).isNull();
}

QIcon ProgramIcon() {
  QImage image;
  image.loadFromData(ReadResource(":/korvel/korvel.xpm"), "XPM");
  if (image.isNull()) return {};
  return QIcon(QPixmap::fromImage(image));
}

QImage TreeImagePicture(int index) {
  const char* body = BodyColor(index);
  if (!body) return {};
  QByteArray text = ReadResource(":/korvel/camera.xpm");
  if (text.isEmpty()) return {};
  text.replace("#BODY", body);
  QImage image;
  image.loadFromData(text, "XPM");
  return image;
}

QIcon TreeImage(int index) {
  const QImage image = TreeImagePicture(index);
  if (image.isNull()) return {};
  return QIcon(QPixmap::fromImage(image));
}

}  // namespace KorvelResources
