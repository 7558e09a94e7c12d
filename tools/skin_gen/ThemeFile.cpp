#include "ThemeFile.h"

#include <QPolygonF>

#include <cstdio>
#include <cstdlib>

#include "platform/Profile.h"

namespace skin_gen {

int Section::Number(const std::string& key) const {
  auto it = values.find(key);
  return it == values.end() ? 0 : std::atoi(it->second.c_str());
}

std::string Section::Value(const std::string& key) const {
  auto it = values.find(key);
  return it == values.end() ? std::string() : it->second;
}

std::vector<Section> ReadTheme(const std::string& file) {
  std::vector<Section> sections;
  for (const std::string& name : platform::ProfileSectionNames(file)) {
    Section section{name, {}};
    for (const std::string& key : platform::ProfileKeyNames(file, name))
      section.values[key] = platform::ReadProfileString(file, name, key);
    sections.push_back(std::move(section));
  }
  return sections;
}

QString FindThemeFile(const QDir& dir, const std::string& section, const std::string& key) {
  for (const QString& ini : dir.entryList({"*.ini"}, QDir::Files, QDir::Name))
    if (!platform::ReadProfileString(dir.filePath(ini).toStdString(), section, key).empty())
      return dir.filePath(ini);
  return QString();
}

QRect ThemeScreen(const std::vector<Section>& theme) {
  QRect screen;
  for (const Section& section : theme)
    if (section.name.rfind("IDB_BITMAP_BACK_", 0) == 0) screen = screen.united(section.Position());
  return screen;
}

bool Save(const QImage& image, const QString& path, const char* format) {
  const bool ok = image.save(path, format, format[0] == 'J' ? 95 : -1);
  if (!ok) std::fprintf(stderr, "skin_gen: cannot write %s\n", path.toLocal8Bit().constData());
  return ok;
}

void GridSymbol(QPainter& p, const QRectF& box, int side, qreal gap, const QColor& colour) {
  const qreal cell = (box.width() - gap * (side - 1)) / side;
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  for (int row = 0; row < side; ++row)
    for (int column = 0; column < side; ++column)
      p.drawRect(QRectF(box.left() + column * (cell + gap), box.top() + row * (cell + gap), cell, cell));
}

void FullScreenSymbol(QPainter& p, const QRectF& box, qreal size) {
  const qreal k = size * 0.32;
  const QRectF b = box;
  p.drawPolyline(QPolygonF({QPointF(b.left(), b.top() + k), b.topLeft(), QPointF(b.left() + k, b.top())}));
  p.drawPolyline(QPolygonF({QPointF(b.right() - k, b.top()), b.topRight(), QPointF(b.right(), b.top() + k)}));
  p.drawPolyline(QPolygonF({QPointF(b.right(), b.bottom() - k), b.bottomRight(), QPointF(b.right() - k, b.bottom())}));
  p.drawPolyline(QPolygonF({QPointF(b.left() + k, b.bottom()), b.bottomLeft(), QPointF(b.left(), b.bottom() - k)}));
}

}  // namespace skin_gen
