#include "live_client/skin/CBmpButton.h"

#include <QEnterEvent>
#include <QPainter>

#include "live_client/skin/CEnBitmap.h"

CBmpButton::CBmpButton(QWidget* parent, int controlId) : QAbstractButton(parent), controlId_(controlId) {
  setAttribute(Qt::WA_Hover);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CBmpButton::LoadBitmaps(const std::string& skinFolder, const std::string& baseName) {
  static const char* const kSuffixes[4] = {"U.jpg", "H.jpg", "D.jpg", "X.jpg"};
  bool all = true;
  for (int i = 0; i < 4; ++i) {
    CEnBitmap bitmap;
    all = bitmap.LoadImage(skinFolder + baseName + kSuffixes[i]) && all;
    faces_[i] = bitmap.Image();
  }
  update();
  return all;
}

ButtonFace CBmpButton::CurrentFace() const {
  if (!isEnabled()) return ButtonFace::Disabled;
  if (isDown() || isChecked()) return ButtonFace::Pressed;
  if (hovering_) return ButtonFace::Hover;
  return ButtonFace::Normal;
}

void CBmpButton::SetCaptionColor(const QColor& color) {
  captionColor_ = color;
  update();
}

void CBmpButton::SetCaptionIndent(int pixels) {
  captionIndent_ = pixels;
  update();
}

QSize CBmpButton::sizeHint() const {
  const QImage& normal = faces_[static_cast<int>(ButtonFace::Normal)];
  return normal.isNull() ? QSize(32, 32) : normal.size();
}

void CBmpButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const ButtonFace face = CurrentFace();
  const QImage& picture = faces_[static_cast<int>(face)];
  if (!picture.isNull()) {
    painter.drawImage(rect(), picture);
  } else {
    // No picture for this face: a plain panel keeps the button visible and usable.
    painter.fillRect(rect(), face == ButtonFace::Pressed ? QColor(20, 45, 80) : QColor(36, 70, 118));
    painter.setPen(QColor(90, 130, 180));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  const QString caption = text();
  if (!caption.isEmpty() && !caption.startsWith(QLatin1String("BTN_"))) {
    painter.setPen(face == ButtonFace::Disabled ? QColor(120, 130, 140) : captionColor_);
    QRect area = rect().adjusted(captionIndent_, 0, 0, 0);
    if (face == ButtonFace::Pressed) area.translate(1, 1);
    painter.drawText(area, Qt::AlignCenter, caption);
  }
}

void CBmpButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CBmpButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void CBmpButton::focusOutEvent(QFocusEvent* event) {
  hovering_ = false;
  update();
  QAbstractButton::focusOutEvent(event);
}

void CBmpButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    hovering_ = false;
    update();
  }
  QAbstractButton::changeEvent(event);
}
