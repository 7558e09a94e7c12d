#include "live_client/skin/CFlatCheck.h"

#include <QMouseEvent>
#include <QPainter>

#include "live_client/skin/CEnBitmap.h"

CFlatCheck::CFlatCheck(QWidget* parent, int controlId) : QAbstractButton(parent), controlId_(controlId) {
  setAttribute(Qt::WA_Hover);
}

bool CFlatCheck::LoadBitmaps(const std::string& skinFolder, const std::string& baseName) {
  CEnBitmap released, pressed, hover;
  const bool ok = released.LoadImage(skinFolder + baseName + "U.jpg") &
                  pressed.LoadImage(skinFolder + baseName + "D.jpg") &
                  hover.LoadImage(skinFolder + baseName + "H.jpg");
  released_ = released.Image();
  pressed_ = pressed.Image();
  hover_ = hover.Image();
  update();
  return ok;
}

void CFlatCheck::SetCheck(bool set) {
  if (set_ == set) return;
  set_ = set;
  update();
}

void CFlatCheck::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage& picture = set_ ? pressed_ : (hovering_ && !hover_.isNull() ? hover_ : released_);
  if (!picture.isNull()) {
    painter.drawImage(rect(), picture);
  } else {
    painter.fillRect(rect(), set_ ? QColor(24, 52, 92) : QColor(44, 82, 134));
    painter.setPen(QColor(96, 140, 196));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  painter.setPen(set_ ? QColor(255, 214, 90) : QColor(230, 238, 248));
  painter.drawText(rect().translated(set_ ? 1 : 0, set_ ? 1 : 0), Qt::AlignCenter, text());
}

void CFlatCheck::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    emit parentMessage(kFlatCheckMessage, static_cast<quintptr>(controlId_), 1);
  QAbstractButton::mousePressEvent(event);
}

void CFlatCheck::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    emit parentMessage(kFlatCheckMessage, static_cast<quintptr>(controlId_), 0);
  QAbstractButton::mouseReleaseEvent(event);
}

void CFlatCheck::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CFlatCheck::leaveEvent(QEvent* event) {
  hovering_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}
