// skin_gen: draws every picture a live-client theme names, into the theme's own folder.
//
//   skin_gen <theme folder> [<theme folder> ...]
//   skin_gen --lumaro <theme folder> [...]     (playback-program themes, LumaroSkin.cpp)
//   skin_gen --icons <picture> <name> <icon theme folder>
//                                              (a program's desktop icons, AppIcon.cpp)
//
// Each folder holds one theme INI ("*.ini" with [ENG] ThemeName). The whole dialog background is
// painted first at the screen size the theme is made for; the four border pictures are cut from
// it, and every button face is painted over the piece of background it covers, so rounded
// corners and the edges of each control blend into the panel behind it.
//
// Pictures: border strips (BMPNAME.jpg), button faces in four states (BMPNAME U/H/D/X .jpg),
// the disk bar's background and filled part, "Logo.jpg", the page buttons of the settings
// sheet, and the pop-up notifier "TaskBarNotify_MSN.bmp".

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "AppIcon.h"
#include "LumaroSkin.h"
#include "ThemeFile.h"
#include "platform/Profile.h"

using namespace skin_gen;

namespace {

// The palette of the "Blue" theme: a dark navy frame around the video, steel-blue controls.
const QColor kFrameDark(9, 19, 34);
const QColor kFrame(16, 32, 56);
const QColor kFrameLight(26, 50, 84);
const QColor kEdge(58, 112, 176);
const QColor kAccent(92, 170, 255);
const QColor kWell(7, 15, 27);
const QColor kSymbol(228, 238, 250);

const Section* Find(const std::vector<Section>& sections, const std::string& name) {
  for (const Section& section : sections)
    if (section.name == name) return &section;
  return nullptr;
}

QPainterPath Rounded(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

// A recessed area: dark fill, shadow on the upper edge, light on the lower one.
void DrawWell(QPainter& p, const QRect& rect, qreal radius = 4) {
  const QRectF r = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(Qt::NoPen);
  p.setBrush(kWell);
  p.drawPath(Rounded(r, radius));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0, 160), 1));
  p.drawPath(Rounded(r, radius));
  p.setPen(QPen(QColor(70, 120, 180, 90), 1));
  p.drawLine(QPointF(r.left() + radius, r.bottom() + 1), QPointF(r.right() - radius, r.bottom() + 1));
}

// A raised group panel with a header band.
void DrawGroup(QPainter& p, const QRect& rect, int headerHeight) {
  const QRectF r = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, QColor(24, 48, 82));
  fill.setColorAt(1, QColor(15, 31, 55));
  p.setPen(QPen(QColor(48, 92, 148), 1));
  p.setBrush(fill);
  p.drawPath(Rounded(r, 6));
  if (headerHeight > 0) {
    QPainterPath header;
    header.addRoundedRect(r.adjusted(1, 1, -1, 0), 5, 5);
    QPainterPath clip;
    clip.addRect(QRectF(r.left(), r.top(), r.width(), headerHeight));
    QLinearGradient band(r.topLeft(), QPointF(r.left(), r.top() + headerHeight));
    band.setColorAt(0, QColor(44, 92, 152));
    band.setColorAt(1, QColor(28, 62, 108));
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawPath(header.intersected(clip));
    p.setPen(QPen(kAccent, 1));
    p.drawLine(QPointF(r.left() + 6, r.top() + headerHeight), QPointF(r.right() - 6, r.top() + headerHeight));
  }
}

// --- The dialog background -------------------------------------------------------------------

QImage PaintBackground(const std::vector<Section>& theme, QSize screen) {
  QImage image(screen, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(image.rect(), kFrame);

  const Section* top = Find(theme, "IDB_BITMAP_BACK_TOP");
  const Section* bottom = Find(theme, "IDB_BITMAP_BACK_BOTTOM");
  const Section* left = Find(theme, "IDB_BITMAP_BACK_LEFT");
  const Section* right = Find(theme, "IDB_BITMAP_BACK_RIGHT");

  if (top) {
    const QRect r = top->Position();
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(30, 62, 104));
    g.setColorAt(0.5, QColor(17, 37, 66));
    g.setColorAt(1, kFrameDark);
    p.fillRect(r, g);
    p.setPen(QPen(kEdge, 1));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.setPen(QPen(QColor(120, 170, 230, 70), 1));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
  }
  if (left) {
    const QRect r = left->Position();
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, kFrameLight);
    g.setColorAt(1, kFrameDark);
    p.fillRect(r, g);
  }
  if (right) {
    const QRect r = right->Position();
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, kFrameDark);
    g.setColorAt(0.06, kFrame);
    g.setColorAt(1, QColor(20, 40, 68));
    p.fillRect(r, g);
    // Page caption band, camera tree well, PTZ group.
    const Section* pageLeft = Find(theme, "BTN_PAGELEFT");
    const Section* pageRight = Find(theme, "BTN_PAGERIGHT");
    if (pageLeft && pageRight) {
      const QRect band = pageLeft->Position().united(pageRight->Position()).adjusted(-3, -3, 3, 3);
      DrawWell(p, band, 5);
    }
    if (const Section* tree = Find(theme, "TREE_CONFIG")) DrawWell(p, tree->Position().adjusted(-3, -3, 3, 3), 5);
    if (const Section* power = Find(theme, "STC_POWER")) {
      QRect group = power->Position();
      for (const char* name : {"BTN_PTZ_DOWN", "BTN_BRUSH_ON", "BTN_PTZ_LIGHT", "STC_SERLIGHT"})
        if (const Section* s = Find(theme, name)) group = group.united(s->Position());
      DrawGroup(p, group.adjusted(-4, -3, 4, 5), power->Position().height() + 2);
      // Rows of the PTZ pad sit in shallow wells.
      for (const char* name : {"STC_ZOOM", "STC_FOCUS", "STC_IRIS", "STC_BRUSH", "STC_SERLIGHT"})
        if (const Section* s = Find(theme, name)) DrawWell(p, s->Position().adjusted(-1, 1, 1, -1), 3);
      // A round base under the direction cross.
      if (const Section* up = Find(theme, "BTN_PTZ_UP")) {
        const Section* down = Find(theme, "BTN_PTZ_DOWN");
        const QRect cross = up->Position().united(down ? down->Position() : up->Position());
        const QPointF centre = QRectF(cross).center();
        const qreal radius = cross.height() / 2.0 + 4;
        QRadialGradient base(centre, radius);
        base.setColorAt(0, QColor(30, 62, 104));
        base.setColorAt(0.85, QColor(12, 26, 46));
        base.setColorAt(1, QColor(40, 80, 130));
        p.setPen(QPen(QColor(52, 100, 160), 1));
        p.setBrush(base);
        p.drawEllipse(centre, radius, radius);
      }
    }
  }
  if (bottom) {
    const QRect r = bottom->Position();
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(24, 48, 82));
    g.setColorAt(1, kFrameDark);
    p.fillRect(r, g);
    p.setPen(QPen(kEdge, 1));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    // Button groups sit on slightly darker plates; the status row in a well.
    auto plate = [&](std::initializer_list<const char*> names) {
      QRect area;
      for (const char* name : names)
        if (const Section* s = Find(theme, name)) area = area.isNull() ? s->Position() : area.united(s->Position());
      if (!area.isNull()) DrawWell(p, area.adjusted(-4, -4, 4, 4), 6);
    };
    plate({"BTN_SINGLE", "BTN_TWENTYFIVE"});
    plate({"BTN_PAGEUP", "BTN_AUTOPAGE"});
    plate({"BTN_WINDOWSTYLE", "BTN_DISCONNECTALL"});
    plate({"BTN_RECORD", "BTN_CONFIG"});
    plate({"BTN_MINIMIZE", "BTN_QUIT"});
    plate({"STC_RUNDAYS", "STC_PROGRESS"});
  }
  return image;
}

// --- Symbols -------------------------------------------------------------------------------------

// The window-layout symbols: finer gaps from four cells a side, so the cells stay apart.
void LayoutSymbol(QPainter& p, const QRectF& box, int side, const QColor& colour) {
  GridSymbol(p, box, side, side >= 4 ? 1.2 : 1.6, colour);
}

void Triangle(QPainter& p, const QPointF& centre, qreal size, int direction, const QColor& colour) {
  // direction: 0 up, 1 right, 2 down, 3 left
  QPolygonF shape;
  const qreal h = size * 0.5;
  switch (direction) {
    case 0: shape << QPointF(centre.x(), centre.y() - h) << QPointF(centre.x() + h, centre.y() + h * 0.6) << QPointF(centre.x() - h, centre.y() + h * 0.6); break;
    case 1: shape << QPointF(centre.x() + h, centre.y()) << QPointF(centre.x() - h * 0.6, centre.y() + h) << QPointF(centre.x() - h * 0.6, centre.y() - h); break;
    case 2: shape << QPointF(centre.x(), centre.y() + h) << QPointF(centre.x() + h, centre.y() - h * 0.6) << QPointF(centre.x() - h, centre.y() - h * 0.6); break;
    default: shape << QPointF(centre.x() - h, centre.y()) << QPointF(centre.x() + h * 0.6, centre.y() + h) << QPointF(centre.x() + h * 0.6, centre.y() - h); break;
  }
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(shape);
}

void Chevron(QPainter& p, const QPointF& centre, qreal size, bool up, const QColor& colour, qreal width) {
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const qreal h = size / 2, v = size / 4;
  if (up) p.drawPolyline(QPolygonF({QPointF(centre.x() - h, centre.y() + v), centre - QPointF(0, v), QPointF(centre.x() + h, centre.y() + v)}));
  else p.drawPolyline(QPolygonF({QPointF(centre.x() - h, centre.y() - v), centre + QPointF(0, v), QPointF(centre.x() + h, centre.y() - v)}));
}

// Draws the symbol of picture `name` inside `box` (a square).
void DrawSymbol(QPainter& p, const std::string& name, const QRectF& box, const QColor& colour, bool disabled) {
  const QPointF c = box.center();
  const qreal s = box.width();
  const qreal line = qMax<qreal>(1.6, s / 9);
  QPen pen(colour, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setBrush(Qt::NoBrush);
  p.setPen(pen);
  const QColor red = disabled ? colour : QColor(235, 64, 52);

  if (name == "BtnSingle") LayoutSymbol(p, box, 1, colour);
  else if (name == "BtnFour") LayoutSymbol(p, box, 2, colour);
  else if (name == "BtnNine") LayoutSymbol(p, box, 3, colour);
  else if (name == "BtnSixteen") LayoutSymbol(p, box, 4, colour);
  else if (name == "BtnTwentyFive") LayoutSymbol(p, box, 5, colour);
  else if (name == "BtnPageUp") { Chevron(p, c - QPointF(0, s * 0.15), s * 0.8, true, colour, line); Chevron(p, c + QPointF(0, s * 0.2), s * 0.8, true, colour, line); }
  else if (name == "BtnPageDown") { Chevron(p, c - QPointF(0, s * 0.2), s * 0.8, false, colour, line); Chevron(p, c + QPointF(0, s * 0.15), s * 0.8, false, colour, line); }
  else if (name == "BtnAutoPage") {
    const QRectF ring = box.adjusted(s * 0.1, s * 0.1, -s * 0.1, -s * 0.1);
    p.drawArc(ring, 30 * 16, 150 * 16);
    p.drawArc(ring, 210 * 16, 150 * 16);
    Triangle(p, QPointF(ring.right() - s * 0.02, c.y() - s * 0.12), s * 0.3, 2, colour);
    Triangle(p, QPointF(ring.left() + s * 0.02, c.y() + s * 0.12), s * 0.3, 0, colour);
  } else if (name == "BtnWindowStyle") {
    p.drawRoundedRect(box.adjusted(0, s * 0.1, 0, -s * 0.1), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRect(QRectF(box.left(), box.bottom() - s * 0.32, s, s * 0.22));
  } else if (name == "BtnFullScreen") {
    FullScreenSymbol(p, box, s);
  } else if (name == "BtnMute") {
    QPolygonF speaker;
    speaker << QPointF(box.left(), c.y() - s * 0.15) << QPointF(box.left() + s * 0.22, c.y() - s * 0.15)
            << QPointF(box.left() + s * 0.5, c.y() - s * 0.4) << QPointF(box.left() + s * 0.5, c.y() + s * 0.4)
            << QPointF(box.left() + s * 0.22, c.y() + s * 0.15) << QPointF(box.left(), c.y() + s * 0.15);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(speaker);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - s * 0.2, c.y() - s * 0.25, s * 0.5, s * 0.5), -50 * 16, 100 * 16);
    p.drawArc(QRectF(c.x() - s * 0.35, c.y() - s * 0.45, s * 0.85, s * 0.9), -45 * 16, 90 * 16);
  } else if (name == "BtnDisconnectAll") {
    // Two plug halves pulled apart.
    p.drawRoundedRect(QRectF(box.left(), c.y() - s * 0.18, s * 0.32, s * 0.36), 2, 2);
    p.drawRoundedRect(QRectF(box.right() - s * 0.32, c.y() - s * 0.18, s * 0.32, s * 0.36), 2, 2);
    p.drawLine(QPointF(box.left() + s * 0.32, c.y() - s * 0.08), QPointF(c.x() - s * 0.06, c.y() - s * 0.08));
    p.drawLine(QPointF(box.left() + s * 0.32, c.y() + s * 0.08), QPointF(c.x() - s * 0.06, c.y() + s * 0.08));
    p.setPen(QPen(red, line, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() + s * 0.02, box.top() + s * 0.1), QPointF(c.x() + s * 0.12, box.bottom() - s * 0.1));
  } else if (name == "BtnPageLeft") Triangle(p, c, s * 0.7, 3, colour);
  else if (name == "BtnPageRight") Triangle(p, c, s * 0.7, 1, colour);
  else if (name == "BtnMin" || name == "BtnMinimize") p.drawLine(QPointF(box.left() + s * 0.1, box.bottom() - s * 0.15), QPointF(box.right() - s * 0.1, box.bottom() - s * 0.15));
  else if (name == "BtnExit") { p.drawLine(box.topLeft() + QPointF(s * 0.12, s * 0.12), box.bottomRight() - QPointF(s * 0.12, s * 0.12)); p.drawLine(box.topRight() + QPointF(-s * 0.12, s * 0.12), box.bottomLeft() + QPointF(s * 0.12, -s * 0.12)); }
  else if (name == "BtnQuit") {
    p.drawArc(box.adjusted(s * 0.08, s * 0.12, -s * 0.08, -s * 0.04), 120 * 16, 300 * 16);
    p.drawLine(QPointF(c.x(), box.top() - s * 0.02), QPointF(c.x(), c.y() + s * 0.05));
  } else if (name == "BtnRecord") {
    p.setPen(Qt::NoPen);
    QRadialGradient dot(c - QPointF(s * 0.12, s * 0.12), s * 0.55);
    dot.setColorAt(0, disabled ? colour.lighter(120) : QColor(255, 140, 120));
    dot.setColorAt(1, red);
    p.setBrush(dot);
    p.drawEllipse(c, s * 0.38, s * 0.38);
  } else if (name == "BtnStopRecord") {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(c.x() - s * 0.32, c.y() - s * 0.32, s * 0.64, s * 0.64), 2, 2);
  } else if (name == "BtnSnap") {
    p.drawRoundedRect(QRectF(box.left(), box.top() + s * 0.25, s, s * 0.65), 3, 3);
    p.drawRect(QRectF(c.x() - s * 0.18, box.top() + s * 0.1, s * 0.36, s * 0.15));
    p.drawEllipse(QPointF(c.x(), c.y() + s * 0.08), s * 0.2, s * 0.2);
  } else if (name == "BtnPlayback") {
    p.drawEllipse(c, s * 0.48, s * 0.48);
    Triangle(p, c + QPointF(s * 0.05, 0), s * 0.5, 1, colour);
  } else if (name == "BtnConfig") {
    // A cog: a ring with eight teeth.
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int i = 0; i < 8; ++i) {
      p.save();
      p.translate(c);
      p.rotate(i * 45);
      p.drawRect(QRectF(-s * 0.09, -s * 0.5, s * 0.18, s * 0.2));
      p.restore();
    }
    p.setPen(QPen(colour, s * 0.16));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, s * 0.3, s * 0.3);
  } else if (name == "PtzUp") Triangle(p, c, s * 0.75, 0, colour);
  else if (name == "PtzDown") Triangle(p, c, s * 0.75, 2, colour);
  else if (name == "PtzLeft") Triangle(p, c, s * 0.75, 3, colour);
  else if (name == "PtzRight") Triangle(p, c, s * 0.75, 1, colour);
  else if (name == "PtzAuto") {
    const QRectF ring = box.adjusted(s * 0.08, s * 0.08, -s * 0.08, -s * 0.08);
    p.drawArc(ring, 100 * 16, 300 * 16);
    Triangle(p, QPointF(c.x() - s * 0.08, ring.top()), s * 0.32, 3, colour);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, s * 0.1, s * 0.1);
  } else if (name == "ZoomOut" || name == "FocusNear" || name == "IrisClose" || name == "BrushOff") {
    p.drawLine(QPointF(box.left() + s * 0.12, c.y()), QPointF(box.right() - s * 0.12, c.y()));
  } else if (name == "ZoomIn" || name == "FocusFar" || name == "IrisOpen" || name == "BrushOn") {
    p.drawLine(QPointF(box.left() + s * 0.12, c.y()), QPointF(box.right() - s * 0.12, c.y()));
    p.drawLine(QPointF(c.x(), box.top() + s * 0.12), QPointF(c.x(), box.bottom() - s * 0.12));
  } else if (name == "PtzLight") {
    p.drawEllipse(QPointF(c.x(), c.y() - s * 0.1), s * 0.28, s * 0.28);
    p.drawLine(QPointF(c.x() - s * 0.14, c.y() + s * 0.28), QPointF(c.x() + s * 0.14, c.y() + s * 0.28));
    p.drawLine(QPointF(c.x() - s * 0.1, c.y() + s * 0.42), QPointF(c.x() + s * 0.1, c.y() + s * 0.42));
  }
}

enum Face { kNormal, kHover, kPressed, kDisabled };

// One button face over `background` (the piece of dialog background it covers).
QImage PaintButton(const QImage& background, const std::string& bitmap, Face face, bool text) {
  QImage image = background.convertToFormat(QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = qMin<qreal>(5, r.height() / 4);

  QColor top, bottom, border, symbol;
  switch (face) {
    case kNormal: top = QColor(52, 100, 160); bottom = QColor(22, 50, 90); border = QColor(78, 134, 200); symbol = kSymbol; break;
    case kHover: top = QColor(70, 132, 206); bottom = QColor(30, 68, 120); border = QColor(140, 200, 255); symbol = QColor(255, 255, 255); break;
    case kPressed: top = QColor(6, 16, 32); bottom = QColor(20, 44, 78); border = QColor(92, 170, 255); symbol = QColor(150, 205, 255); break;
    case kDisabled: top = QColor(44, 54, 68); bottom = QColor(30, 37, 48); border = QColor(64, 76, 92); symbol = QColor(96, 108, 124); break;
  }
  // Soft shadow below a raised button.
  if (face != kPressed) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawPath(Rounded(r.translated(0, 1), radius));
  }
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.setPen(QPen(border, 1));
  p.setBrush(fill);
  p.drawPath(Rounded(r.adjusted(0, 0, 0, -1), radius));
  if (face == kNormal || face == kHover) {
    // Gloss on the upper half.
    QLinearGradient gloss(r.topLeft(), QPointF(r.left(), r.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, face == kHover ? 70 : 45));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawPath(Rounded(QRectF(r.left() + 1.5, r.top() + 1.5, r.width() - 3, r.height() / 2), radius - 1));
  }
  if (face == kPressed) {
    // Inner shadow along the top edge: the face sits below the panel.
    p.setPen(QPen(QColor(0, 0, 0, 150), 2));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
  }
  if (face == kHover) {
    p.setPen(QPen(QColor(120, 200, 255, 120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Rounded(r.adjusted(1.5, 1.5, -1.5, -2.5), radius - 1));
  }

  // Symbol: centred on a picture button; at the left of a text button (the caption is drawn
  // by the program to the right of it).
  const qreal h = image.height();
  const qreal size = text ? h * 0.46 : qMin<qreal>(image.width(), h) * 0.52;
  QPointF centre = text ? QPointF(h * 0.55, h / 2.0) : QPointF(image.width() / 2.0, h / 2.0);
  if (face == kPressed) centre += QPointF(1, 1);
  const QRectF box(centre.x() - size / 2, centre.y() - size / 2, size, size);
  DrawSymbol(p, bitmap, box, symbol, face == kDisabled);
  return image;
}

QImage PaintLogo(const QImage& background) {
  QImage image = background.convertToFormat(QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const qreal h = image.height();
  // A camera lens: concentric rings with a highlight.
  const QPointF lens(h / 2 + 2, h / 2);
  QRadialGradient ring(lens, h * 0.45);
  ring.setColorAt(0, QColor(10, 20, 40));
  ring.setColorAt(0.55, QColor(30, 80, 150));
  ring.setColorAt(0.8, QColor(120, 190, 255));
  ring.setColorAt(1, QColor(30, 70, 130));
  p.setPen(QPen(QColor(160, 210, 255), 1));
  p.setBrush(ring);
  p.drawEllipse(lens, h * 0.42, h * 0.42);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(6, 12, 24));
  p.drawEllipse(lens, h * 0.17, h * 0.17);
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawEllipse(lens + QPointF(-h * 0.07, -h * 0.07), h * 0.05, h * 0.05);

  QFont font("DejaVu Sans", 10, QFont::Bold);
  font.setPixelSize(static_cast<int>(h * 0.62));
  font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  p.setFont(font);
  const QRectF textArea(h + 8, 0, image.width() - h - 8, h);
  p.setPen(QColor(0, 0, 0, 120));
  p.drawText(textArea.translated(1, 1), Qt::AlignVCenter | Qt::AlignLeft, "KORVEL");
  p.setPen(QColor(236, 244, 255));
  p.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft, "KORVEL");
  const int wordWidth = QFontMetrics(font).horizontalAdvance("KORVEL") + 10;
  QFont small("DejaVu Sans", 7, QFont::Bold);
  small.setPixelSize(static_cast<int>(h * 0.36));
  p.setFont(small);
  const QRectF tag(textArea.left() + wordWidth, h * 0.24, h * 1.55, h * 0.52);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 40, 36));
  p.drawRoundedRect(tag, 3, 3);
  p.setPen(QColor(255, 255, 255));
  p.drawText(tag, Qt::AlignCenter, "LIVE");
  return image;
}

QImage PaintProgressBack(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, size.height());
  g.setColorAt(0, QColor(4, 9, 16));
  g.setColorAt(1, QColor(18, 34, 56));
  p.fillRect(image.rect(), g);
  p.setPen(QColor(40, 70, 110));
  for (int x = size.width() / 10; x < size.width(); x += size.width() / 10)
    p.drawLine(x, size.height() - 3, x, size.height() - 1);
  p.setPen(QColor(60, 100, 150));
  p.drawRect(image.rect().adjusted(0, 0, -1, -1));
  return image;
}

QImage PaintProgressFill(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  // Along the bar: green while there is room, amber, then red as the disk fills up.
  QLinearGradient along(0, 0, size.width(), 0);
  along.setColorAt(0, QColor(40, 170, 90));
  along.setColorAt(0.6, QColor(120, 190, 60));
  along.setColorAt(0.8, QColor(235, 170, 40));
  along.setColorAt(1, QColor(220, 60, 40));
  p.fillRect(image.rect(), along);
  QLinearGradient gloss(0, 0, 0, size.height());
  gloss.setColorAt(0, QColor(255, 255, 255, 110));
  gloss.setColorAt(0.5, QColor(255, 255, 255, 20));
  gloss.setColorAt(1, QColor(0, 0, 0, 60));
  p.fillRect(image.rect(), gloss);
  p.setPen(QColor(60, 100, 150));
  p.drawRect(image.rect().adjusted(0, 0, -1, -1));
  return image;
}

// The pop-up notifier: a header band for the caption, a light body for the blue text.
QImage PaintNotifier() {
  const QSize size(230, 130);
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 255));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient body(r.topLeft(), r.bottomLeft());
  body.setColorAt(0, QColor(244, 248, 253));
  body.setColorAt(1, QColor(206, 224, 244));
  p.setPen(QPen(QColor(40, 80, 140), 1));
  p.setBrush(body);
  p.drawRect(r);
  QLinearGradient band(0, 0, 0, 32);
  band.setColorAt(0, QColor(46, 98, 164));
  band.setColorAt(1, QColor(20, 52, 98));
  p.fillRect(QRectF(1, 1, size.width() - 2, 31), band);
  p.setPen(QColor(92, 170, 255));
  p.drawLine(QPointF(1, 32), QPointF(size.width() - 2, 32));
  // A small camera in the band.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(230, 240, 252));
  p.drawRoundedRect(QRectF(10, 10, 18, 13), 2, 2);
  p.drawPolygon(QPolygonF({QPointF(28, 14), QPointF(34, 11), QPointF(34, 22), QPointF(28, 19)}));
  QFont font("DejaVu Sans", 9, QFont::Bold);
  font.setPixelSize(12);
  p.setFont(font);
  p.setPen(QColor(236, 244, 255));
  p.drawText(QRectF(42, 1, size.width() - 50, 31), Qt::AlignVCenter | Qt::AlignLeft, "Korvel");
  // Footer strip.
  QLinearGradient footer(0, size.height() - 22, 0, size.height());
  footer.setColorAt(0, QColor(214, 230, 247));
  footer.setColorAt(1, QColor(184, 208, 236));
  p.fillRect(QRectF(1, size.height() - 21, size.width() - 2, 20), footer);
  p.setPen(QColor(150, 180, 215));
  p.drawLine(QPointF(6, size.height() - 21.5), QPointF(size.width() - 6, size.height() - 21.5));
  return image;
}

QImage PaintPageCheck(QSize size, Face face) {
  QImage background(size, QImage::Format_RGB32);
  background.fill(kFrame);
  return PaintButton(background, "PageCheck", face, false);
}

bool DrawTheme(const QString& folder) {
  QDir dir(folder);
  const QString iniPath = FindThemeFile(dir, "ENG", "ThemeName");
  if (iniPath.isEmpty()) {
    std::fprintf(stderr, "skin_gen: no theme file in %s\n", folder.toLocal8Bit().constData());
    return false;
  }
  const std::vector<Section> theme = ReadTheme(iniPath.toStdString());

  // The screen the theme is made for: the bottom-right corner of its border pictures.
  const QRect screen = ThemeScreen(theme);
  if (screen.isEmpty()) {
    std::fprintf(stderr, "skin_gen: %s names no border pictures\n", iniPath.toLocal8Bit().constData());
    return false;
  }
  const QImage background = PaintBackground(theme, QSize(screen.right() + 1, screen.bottom() + 1));
  bool ok = true;
  auto out = [&](const std::string& file) { return dir.filePath(QString::fromStdString(file)); };

  for (const Section& section : theme) {
    const std::string bitmap = section.Value("BMPNAME");
    if (section.name.rfind("IDB_BITMAP_BACK_", 0) == 0) {
      ok = Save(background.copy(section.Position()), out(bitmap + ".jpg"), "JPG") && ok;
    } else if (section.name == "BTN_PAGECHECK") {
      const QSize size = section.Position().size();
      const char* suffixes[4] = {"U.jpg", "H.jpg", "D.jpg", "X.jpg"};
      for (int face = 0; face < 4; ++face)
        ok = Save(PaintPageCheck(size, static_cast<Face>(face)), out(bitmap + suffixes[face]), "JPG") && ok;
    } else if (section.name.rfind("BTN_", 0) == 0 && !bitmap.empty() && section.HasPosition()) {
      const QImage under = background.copy(section.Position());
      const bool text = section.name == "BTN_RECORD" || section.name == "BTN_STOPRECORD" ||
                        section.name == "BTN_SNAP" || section.name == "BTN_PLAYBACK" ||
                        section.name == "BTN_CONFIG";
      const char* suffixes[4] = {"U.jpg", "H.jpg", "D.jpg", "X.jpg"};
      for (int face = 0; face < 4; ++face)
        ok = Save(PaintButton(under, bitmap, static_cast<Face>(face), text), out(bitmap + suffixes[face]), "JPG") && ok;
    } else if (section.name == "STC_PROGRESS") {
      const QSize size = section.Position().size();
      ok = Save(PaintProgressBack(size), out(section.Value("STC_PROGRESS_BACK") + ".jpg"), "JPG") && ok;
      ok = Save(PaintProgressFill(size), out(section.Value("STC_PROGRESS_PROGRESS") + ".jpg"), "JPG") && ok;
    } else if (section.name == "STC_LOGO") {
      ok = Save(PaintLogo(background.copy(section.Position())), out("Logo.jpg"), "JPG") && ok;
    }
  }
  ok = Save(PaintNotifier(), out("TaskBarNotify_MSN.bmp"), "BMP") && ok;
  // The whole background, for people checking the look of a theme.
  ok = Save(background, out("Preview.jpg"), "JPG") && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: skin_gen <theme folder> [<theme folder> ...]\n");
    return 2;
  }
  if (std::string(argv[1]) == "--icons") {
    if (argc != 5) {
      std::fprintf(stderr, "usage: skin_gen --icons <picture> <name> <icon theme folder>\n");
      return 2;
    }
    return WriteAppIcons(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]))
               ? 0
               : 1;
  }
  // "--lumaro" before the folders: they hold playback-program themes.
  const bool lumaro = std::string(argv[1]) == "--lumaro";
  bool ok = true;
  for (int i = lumaro ? 2 : 1; i < argc; ++i) {
    const QString folder = QString::fromLocal8Bit(argv[i]);
    ok = (lumaro ? DrawLumaroTheme(folder) : DrawTheme(folder)) && ok;
  }
  return ok ? 0 : 1;
}
