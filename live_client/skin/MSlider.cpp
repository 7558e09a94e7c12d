#include "live_client/skin/MSlider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include "live_client/skin/CEnBitmap.h"

MSlider::MSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

bool MSlider::LoadBitmaps(const std::string& backPath, const std::string& thumbPath) {
  CEnBitmap back, thumb;
  const bool backLoaded = back.LoadImage(backPath);
  const bool thumbLoaded = thumb.LoadImage(thumbPath);
  back_ = back.Image();
  thumb_ = thumb.Image();
  update();
  return backLoaded && thumbLoaded;
}

QRect MSlider::ThumbPictureRect() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  return handle.translated(0, 5);
}

void MSlider::paintEvent(QPaintEvent* event) {
  if (back_.isNull() && thumb_.isNull()) {
    QSlider::paintEvent(event);
    return;
  }
  QPainter painter(this);
  if (!back_.isNull()) painter.drawImage(rect(), back_);
  if (!thumb_.isNull()) {
    const QRect thumb = ThumbPictureRect();
    painter.drawImage(QRect(thumb.topLeft(), thumb_.size()), thumb_);
  }
}
