#include "LumaroSkin.h"

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ThemeFile.h"
#include "platform/Profile.h"

using namespace skin_gen;

namespace {

struct Palette {
  QColor panelTop, panelBottom, edge, faceTop, faceBottom, faceBorder, symbol, accent, well;
};

// TBlack: charcoal panels with an amber accent. Blue: navy panels with steel-blue faces.
Palette PaletteFor(const std::string& theme) {
  if (theme == "TBlack")
    return {QColor(34, 34, 38), QColor(14, 14, 16), QColor(70, 70, 78), QColor(66, 66, 72),
            QColor(30, 30, 34), QColor(96, 96, 104), QColor(232, 232, 236), QColor(255, 170, 40),
            QColor(8, 8, 10)};
  // The faces are deep enough that white captions stay readable on the lighter hover face.
  return {QColor(26, 50, 84), QColor(9, 19, 34), QColor(58, 112, 176), QColor(40, 80, 130),
          QColor(18, 40, 72), QColor(78, 134, 200), QColor(228, 238, 250), QColor(92, 170, 255),
          QColor(7, 15, 27)};
}

QSize PairOf(const std::string& text) {
  int a = 0, b = 0;
  std::sscanf(text.c_str(), "%d , %d", &a, &b);
  return QSize(a, b);
}

bool Save(const QImage& image, const QString& path) { return skin_gen::Save(image, path, "JPG"); }

QImage PaintBackground(const std::vector<Section>& theme, QSize screen, const Palette& palette) {
  QImage image(screen, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, screen.height());
  fill.setColorAt(0, palette.panelTop);
  fill.setColorAt(1, palette.panelBottom);
  p.fillRect(image.rect(), fill);
  // Wells under the video area, the ruler and the result list, so the controls sit in the panel.
  for (const Section& section : theme) {
    if (section.name == "VideoWindow" || section.name == "TimeStaff" || section.name == "LIST_RESULT" ||
        section.name == "CONTROL_CALDATE") {
      const QRectF r = QRectF(section.Position()).adjusted(-2.5, -2.5, 2.5, 2.5);
      p.setPen(QPen(palette.edge, 1));
      p.setBrush(palette.well);
      p.drawRoundedRect(r, 3, 3);
    }
  }
  p.setPen(QPen(palette.accent, 1));
  for (const Section& section : theme)
    if (section.name == "IDB_BITMAP_BACK_TOP") {
      const QRect r = section.Position();
      p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
      QFont font("DejaVu Sans", 10, QFont::Bold);
      font.setPixelSize(qMax(10, r.height() - 12));
      p.setFont(font);
      p.setPen(palette.symbol);
      p.drawText(r.adjusted(10, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, "LUMARO  PLAYBACK");
    }
  return image;
}

void Triangle(QPainter& p, QPointF c, qreal s, bool right, const QColor& colour) {
  const qreal h = s / 2;
  QPolygonF shape;
  if (right) shape << QPointF(c.x() + h, c.y()) << QPointF(c.x() - h * 0.7, c.y() - h) << QPointF(c.x() - h * 0.7, c.y() + h);
  else shape << QPointF(c.x() - h, c.y()) << QPointF(c.x() + h * 0.7, c.y() - h) << QPointF(c.x() + h * 0.7, c.y() + h);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(shape);
}

void Grid(QPainter& p, const QRectF& box, int side, const QColor& colour) { GridSymbol(p, box, side, 1.2, colour); }

void Symbol(QPainter& p, const std::string& name, const QRectF& box, const QColor& colour) {
  const QPointF c = box.center();
  const qreal s = box.width();
  const qreal line = qMax<qreal>(1.5, s / 9);
  p.setPen(QPen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  auto bar = [&](qreal x, qreal w) {
    p.fillRect(QRectF(x, box.top() + s * 0.1, w, s * 0.8), colour);
  };
  if (name == "Play" || name == "PlayAll") {
    Triangle(p, c, s * 0.8, true, colour);
    if (name == "PlayAll") bar(box.left(), s * 0.12);
  } else if (name == "Pause") {
    bar(c.x() - s * 0.28, s * 0.18);
    bar(c.x() + s * 0.1, s * 0.18);
  } else if (name == "Stop" || name == "StopAll" || name == "SearchStop") {
    p.fillRect(QRectF(c.x() - s * 0.3, c.y() - s * 0.3, s * 0.6, s * 0.6), colour);
    if (name == "StopAll") p.drawRect(QRectF(box.left(), box.top(), s, s));
  } else if (name == "FramePrev") {
    bar(box.left() + s * 0.1, s * 0.12);
    Triangle(p, c + QPointF(s * 0.1, 0), s * 0.6, false, colour);
  } else if (name == "FrameNext") {
    bar(box.right() - s * 0.22, s * 0.12);
    Triangle(p, c - QPointF(s * 0.1, 0), s * 0.6, true, colour);
  } else if (name == "Slow" || name == "SlowAll") {
    Triangle(p, c - QPointF(s * 0.18, 0), s * 0.5, false, colour);
    Triangle(p, c + QPointF(s * 0.18, 0), s * 0.5, false, colour);
    if (name == "SlowAll") p.drawLine(QPointF(box.left(), box.bottom()), QPointF(box.right(), box.bottom()));
  } else if (name == "Fast" || name == "FastAll") {
    Triangle(p, c - QPointF(s * 0.18, 0), s * 0.5, true, colour);
    Triangle(p, c + QPointF(s * 0.18, 0), s * 0.5, true, colour);
    if (name == "FastAll") p.drawLine(QPointF(box.left(), box.bottom()), QPointF(box.right(), box.bottom()));
  } else if (name == "Snap") {
    p.drawRoundedRect(QRectF(box.left(), box.top() + s * 0.25, s, s * 0.65), 2, 2);
    p.drawEllipse(QPointF(c.x(), c.y() + s * 0.08), s * 0.2, s * 0.2);
  } else if (name == "Mute") {
    QPolygonF speaker;
    speaker << QPointF(box.left(), c.y() - s * 0.15) << QPointF(box.left() + s * 0.25, c.y() - s * 0.15)
            << QPointF(box.left() + s * 0.5, c.y() - s * 0.4) << QPointF(box.left() + s * 0.5, c.y() + s * 0.4)
            << QPointF(box.left() + s * 0.25, c.y() + s * 0.15) << QPointF(box.left(), c.y() + s * 0.15);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(speaker);
    p.setPen(QPen(colour, line, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - s * 0.2, c.y() - s * 0.25, s * 0.5, s * 0.5), -50 * 16, 100 * 16);
  } else if (name == "SaveVideo") {
    p.drawRect(box.adjusted(s * 0.05, s * 0.05, -s * 0.05, -s * 0.05));
    p.fillRect(QRectF(c.x() - s * 0.2, box.top() + s * 0.05, s * 0.4, s * 0.3), colour);
  } else if (name == "FileOpen") {
    QPolygonF folder;
    folder << QPointF(box.left(), box.top() + s * 0.2) << QPointF(box.left() + s * 0.35, box.top() + s * 0.2)
           << QPointF(box.left() + s * 0.45, box.top() + s * 0.32) << QPointF(box.right(), box.top() + s * 0.32)
           << QPointF(box.right(), box.bottom() - s * 0.1) << QPointF(box.left(), box.bottom() - s * 0.1);
    p.drawPolygon(folder);
  } else if (name == "Wnd1") Grid(p, box, 1, colour);
  else if (name == "Wnd4") Grid(p, box, 2, colour);
  else if (name == "Wnd9") Grid(p, box, 3, colour);
  else if (name == "Wnd16") Grid(p, box, 4, colour);
  else if (name == "FullScreen") {
    FullScreenSymbol(p, box, s);
  } else if (name == "Exit") {
    p.drawLine(box.topLeft() + QPointF(s * 0.15, s * 0.15), box.bottomRight() - QPointF(s * 0.15, s * 0.15));
    p.drawLine(box.topRight() + QPointF(-s * 0.15, s * 0.15), box.bottomLeft() + QPointF(s * 0.15, -s * 0.15));
  } else if (name == "Search") {
    p.drawEllipse(QPointF(c.x() - s * 0.1, c.y() - s * 0.1), s * 0.28, s * 0.28);
    p.drawLine(QPointF(c.x() + s * 0.12, c.y() + s * 0.12), box.bottomRight());
  } else if (name == "ModeTime") {
    p.drawEllipse(c, s * 0.45, s * 0.45);
    p.drawLine(c, QPointF(c.x(), c.y() - s * 0.3));
    p.drawLine(c, QPointF(c.x() + s * 0.22, c.y()));
  } else if (name == "ModeList") {
    for (int i = 0; i < 3; ++i) p.drawLine(QPointF(box.left(), box.top() + s * (0.2 + i * 0.3)),
                                           QPointF(box.right(), box.top() + s * (0.2 + i * 0.3)));
  } else if (name == "SelectAll") {
    p.drawRect(box.adjusted(s * 0.1, s * 0.1, -s * 0.1, -s * 0.1));
  }
}

enum Face { kHover, kNormal, kPressed, kDisabled };

// `latching`: a channel button, whose pressed face also marks a chosen channel; it is filled
// with the accent colour so a chosen channel stands out from the others at a glance.
QImage PaintFace(const QImage& under, const std::string& bitmap, Face face, bool captioned, const Palette& palette,
                 bool latching = false) {
  QImage image = under.convertToFormat(QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = qMin<qreal>(4, r.height() / 4);
  QColor top = palette.faceTop, bottom = palette.faceBottom, border = palette.faceBorder, symbol = palette.symbol;
  switch (face) {
    case kHover: top = top.lighter(130); bottom = bottom.lighter(130); border = palette.accent; break;
    case kPressed:
      if (latching) {
        top = palette.accent.lighter(115);
        bottom = palette.accent;
        border = palette.symbol;
        break;
      }
      std::swap(top, bottom); top = top.darker(160); border = palette.accent; symbol = palette.accent; break;
    case kDisabled: top = top.darker(170); bottom = bottom.darker(150); border = border.darker(180); symbol = symbol.darker(250); break;
    case kNormal: break;
  }
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.setPen(QPen(border, 1));
  p.setBrush(fill);
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  p.drawPath(path);
  if (bitmap.empty()) return image;
  const qreal h = image.height();
  const qreal size = captioned ? h * 0.5 : qMin<qreal>(image.width(), h) * 0.55;
  QPointF centre = captioned ? QPointF(h * 0.55, h / 2.0) : QPointF(image.width() / 2.0, h / 2.0);
  if (face == kPressed) centre += QPointF(1, 1);
  Symbol(p, bitmap, QRectF(centre.x() - size / 2, centre.y() - size / 2, size, size), symbol);
  return image;
}

QImage PaintTrack(QSize size, const Palette& palette) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(palette.panelBottom);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal mid = size.height() / 2.0;
  p.setPen(Qt::NoPen);
  p.setBrush(palette.well);
  p.drawRoundedRect(QRectF(2, mid - 3, size.width() - 4, 6), 3, 3);
  p.setPen(QPen(palette.edge, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(2.5, mid - 2.5, size.width() - 5, 5), 2.5, 2.5);
  return image;
}

QImage PaintThumb(QSize size, const Palette& palette) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(palette.panelBottom);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, palette.accent.lighter(130));
  fill.setColorAt(1, palette.accent.darker(140));
  p.setPen(QPen(palette.faceBorder, 1));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 2, 2);
  return image;
}

}  // namespace

bool DrawLumaroTheme(const QString& folder) {
  QDir dir(folder);
  const QString iniPath = FindThemeFile(dir, "ThemeName", "ENG");
  if (iniPath.isEmpty()) {
    std::fprintf(stderr, "skin_gen: no playback theme file in %s\n", folder.toLocal8Bit().constData());
    return false;
  }
  const std::string file = iniPath.toStdString();
  const std::vector<Section> theme = ReadTheme(file);
  const std::string themeName = platform::ReadProfileString(file, "ThemeName", "ENG");
  const Palette palette = PaletteFor(themeName);

  const QRect screen = ThemeScreen(theme);
  if (screen.isEmpty()) {
    std::fprintf(stderr, "skin_gen: %s names no background strips\n", file.c_str());
    return false;
  }
  const QImage background = PaintBackground(theme, QSize(screen.right() + 1, screen.bottom() + 1), palette);
  auto out = [&](const std::string& name) { return dir.filePath(QString::fromStdString(name)); };
  const char* suffixes[4] = {"H.jpg", "U.jpg", "D.jpg", "X.jpg"};
  bool ok = true;
  std::map<std::string, std::string> pictures;
  for (const Section& section : theme)
    if (section.name == "BMPNAME") pictures = section.values;

  for (const Section& section : theme) {
    if (section.name.rfind("IDB_BITMAP_BACK_", 0) == 0) {
      ok = Save(background.copy(section.Position()), out(pictures[section.name] + ".jpg")) && ok;
    } else if (section.name.rfind("BTN_", 0) == 0 && section.HasPosition() && !section.Value("BMPNAME").empty()) {
      const QImage under = background.copy(section.Position());
      const bool captioned = !section.Value("TEXTPOS_X").empty();
      for (int face = 0; face < 4; ++face)
        ok = Save(PaintFace(under, section.Value("BMPNAME"), static_cast<Face>(face), captioned, palette),
                  out(section.Value("BMPNAME") + suffixes[face])) && ok;
    } else if (section.name == "FLAT_CHECK_BTN") {
      const QSize size = PairOf(section.Value("CHANNEL_SIZE"));
      QImage under(size.isEmpty() ? QSize(40, 16) : size, QImage::Format_RGB32);
      under.fill(palette.panelBottom);
      for (int face = 0; face < 4; ++face)
        ok = Save(PaintFace(under, "", static_cast<Face>(face), false, palette, true),
                  out(std::string("1") + suffixes[face])) && ok;
    } else if (section.name == "IDC_SLIDER_PLAY" || section.name == "IDC_SLIDER_VOLUME") {
      const bool play = section.name == "IDC_SLIDER_PLAY";
      const QSize size = section.Position().size();
      ok = Save(PaintTrack(size, palette), out(pictures[play ? "IDC_SLIDER_PLAY" : "IDC_SLIDER_VOLUME"] + ".jpg")) && ok;
      const int thumbWidth = section.Number("THUMB_CX") > 0 ? section.Number("THUMB_CX") : 10;
      ok = Save(PaintThumb(QSize(thumbWidth, size.height()), palette),
                out(pictures[play ? "IDC_THUMB_PLAY" : "IDC_THUMB_VOLUME"] + ".jpg")) && ok;
    }
  }
  ok = Save(background, out("Preview.jpg")) && ok;
  return ok;
}
