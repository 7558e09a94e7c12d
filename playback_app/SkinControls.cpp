#include "playback_app/SkinControls.h"

#include <QEnterEvent>
#include <QPainter>
#include <QStyleOptionSlider>

namespace lumaro {

CPictureButton::CPictureButton(int id, const QString& section, QWidget* parent)
    : QAbstractButton(parent), id_(id) {
  setObjectName(section);
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);
}

bool CPictureButton::SetPictures(const ButtonPictures& pictures) {
  for (const QImage& picture : pictures)
    if (picture.isNull()) return false;
  pictures_ = pictures;
  resize(pictures_[kFaceHover].size());
  update();
  return true;
}

void CPictureButton::SetLatched(bool latched) {
  if (latched_ == latched) return;
  latched_ = latched;
  update();
}

void CPictureButton::SetCaptionStyle(const SkinPoint& offset, const QColor& color) {
  hasCaption_ = true;
  captionOffset_ = offset;
  captionColor_ = color;
  update();
}

void CPictureButton::SetPressedCaptionColor(const QColor& color) {
  pressedCaptionColor_ = color;
  update();
}

QColor CPictureButton::CaptionColorOn(int face) const {
  return face == kFacePressed && pressedCaptionColor_.isValid() ? pressedCaptionColor_ : captionColor_;
}

int CPictureButton::ShownFace() const {
  if (!isEnabled()) return kFaceDisabled;
  if (isDown() || latched_) return kFacePressed;
  if (hover_) return kFaceHover;
  return kFaceNormal;
}

void CPictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage& picture = pictures_[static_cast<std::size_t>(ShownFace())];
  if (!picture.isNull()) painter.drawImage(0, 0, picture);
  if (hasCaption_ && !text().isEmpty()) {
    painter.setPen(CaptionColorOn(ShownFace()));
    painter.drawText(QRect(captionOffset_.x, captionOffset_.y, width() - captionOffset_.x,
                           height() - captionOffset_.y),
                     Qt::AlignLeft | Qt::AlignTop, text());
  }
}

void CPictureButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CPictureButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void CPictureButton::focusOutEvent(QFocusEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::focusOutEvent(event);
}

void CPictureButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && isEnabled()) hover_ = false;
  QAbstractButton::changeEvent(event);
}

void CPictureButton::nextCheckState() {
  if (latching_) SetLatched(!latched_);
}

CColorStatic::CColorStatic(const QString& section, QWidget* parent) : QWidget(parent) {
  setObjectName(section);
  setAttribute(Qt::WA_TranslucentBackground);
}

void CColorStatic::SetText(const QString& text) {
  if (text_ == text) return;
  text_ = text;
  // The dialog behind the label is drawn again, so the old text does not show through.
  if (parentWidget()) parentWidget()->update(geometry());
  update();
}

void CColorStatic::SetTextColor(const QColor& color) {
  color_ = color;
  update();
}

void CColorStatic::SetTextOffset(const SkinPoint& offset) {
  offset_ = offset;
  update();
}

void CColorStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(color_);
  painter.drawText(rect().adjusted(offset_.x, offset_.y, 0, 0), Qt::AlignLeft | Qt::AlignTop, text_);
}

CColorCheckBox::CColorCheckBox(const QString& section, QWidget* parent) : QCheckBox(parent) {
  setObjectName(section);
  setAttribute(Qt::WA_TranslucentBackground);
  setStyleSheet(QStringLiteral("QCheckBox { color: rgb(0,255,0); background: transparent; }"));
}

CPictureSlider::CPictureSlider(const QString& section, QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setObjectName(section);
}

bool CPictureSlider::SetPictures(const QImage& track, const QImage& thumb) {
  if (track.isNull() || thumb.isNull()) return false;
  track_ = track;
  thumb_ = thumb;
  resize(track_.size());
  update();
  return true;
}

QRect CPictureSlider::ThumbRect() const {
  const int thumbWidth = thumb_.isNull() ? 8 : thumb_.width();
  const int span = std::max(0, width() - thumbWidth);
  const int range = maximum() - minimum();
  const int x = range > 0 ? (value() - minimum()) * span / range : 0;
  const int thumbHeight = thumb_.isNull() ? height() : thumb_.height();
  return QRect(x, (height() - thumbHeight) / 2, thumbWidth, thumbHeight);
}

void CPictureSlider::paintEvent(QPaintEvent* event) {
  if (track_.isNull()) {
    QSlider::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.drawImage(rect(), track_);
  painter.drawImage(ThumbRect().topLeft(), thumb_);
}

CDateTimeBox::CDateTimeBox(const QString& section, QWidget* parent) : QTimeEdit(parent) {
  setObjectName(section);
  setDisplayFormat(QStringLiteral("HH:mm:ss"));
  setStyleSheet(QStringLiteral("QTimeEdit { background: rgb(192,192,192); }"));
}

CColorWnd::CColorWnd(const QString& section, const QColor& color, QWidget* parent)
    : QWidget(parent), color_(color) {
  setObjectName(section);
  setWindowTitle(QStringLiteral("ColorWnd"));
  resize(1, 1);
}

void CColorWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), color_);
}

}  // namespace lumaro
