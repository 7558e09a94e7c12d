#pragma once

// What both program's theme painters share: a theme INI read whole, the pictures' writer and
// the symbols that look the same on either program's buttons.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <map>
#include <string>
#include <vector>

namespace skin_gen {

struct Section {
  std::string name;
  std::map<std::string, std::string> values;
  bool HasPosition() const { return values.count("POSITION_X") != 0; }
  QRect Position() const {
    return QRect(Number("POSITION_X"), Number("POSITION_Y"), Number("POSITION_CX"), Number("POSITION_CY"));
  }
  int Number(const std::string& key) const;
  std::string Value(const std::string& key) const;
};

// Every section of the INI file, in file order, with all its keys.
std::vector<Section> ReadTheme(const std::string& file);

// The first "*.ini" in `dir` (by name) whose [section] holds a non-empty `key`; empty when none.
QString FindThemeFile(const QDir& dir, const std::string& section, const std::string& key);

// The screen a theme is made for: the union of its background strips (IDB_BITMAP_BACK_*).
QRect ThemeScreen(const std::vector<Section>& theme);

// Writes `image` in `format` ("JPG" at quality 95); says so on stderr when it cannot.
bool Save(const QImage& image, const QString& path, const char* format);

// A side x side grid of filled cells `gap` apart: the window-layout symbols.
void GridSymbol(QPainter& p, const QRectF& box, int side, qreal gap, const QColor& colour);

// Four corner brackets: the full-screen symbol, drawn with the painter's pen.
void FullScreenSymbol(QPainter& p, const QRectF& box, qreal size);

}  // namespace skin_gen
