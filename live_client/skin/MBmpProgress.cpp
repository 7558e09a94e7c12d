#include "live_client/skin/MBmpProgress.h"

#include <QPainter>

#include "live_client/skin/CEnBitmap.h"

MBmpProgress::MBmpProgress(QWidget* parent) : QWidget(parent) {}

bool MBmpProgress::LoadBitmaps(const std::string& backPath, const std::string& fillPath) {
  CEnBitmap back, fill;
  const bool backLoaded = back.LoadImage(backPath);
  const bool fillLoaded = fill.LoadImage(fillPath);
  back_ = back.Image();
  fill_ = fill.Image();
  update();
  return backLoaded && fillLoaded;
}

void MBmpProgress::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  SetPos(position_);
  update();
}

void MBmpProgress::SetPos(int position) {
  if (maximum_ > minimum_) {
    if (position < minimum_) position = minimum_;
    if (position > maximum_) position = maximum_;
  }
  if (position_ == position) return;
  position_ = position;
  update();
}

void MBmpProgress::SetVertical(bool vertical) {
  vertical_ = vertical;
  update();
}

void MBmpProgress::SetShowPercent(bool show) {
  showPercent_ = show;
  update();
}

void MBmpProgress::SetTextColor(const QColor& color) {
  textColor_ = color;
  update();
}

int MBmpProgress::FilledLength() const {
  const int range = maximum_ - minimum_;
  if (range <= 0) return 0;
  const long long along = vertical_ ? height() : width();
  return static_cast<int>(along * (position_ - minimum_) / range);
}

QString MBmpProgress::PercentText() const {
  const int range = maximum_ - minimum_;
  if (!showPercent_ || range <= 0) return {};
  return QString::number(static_cast<long long>(position_ - minimum_) * 100 / range) + QLatin1Char('%');
}

void MBmpProgress::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!back_.isNull()) painter.drawImage(rect(), back_);
  else painter.fillRect(rect(), QColor(18, 30, 48));
  const int filled = FilledLength();
  if (filled > 0) {
    const QRect target = vertical_ ? QRect(0, height() - filled, width(), filled)
                                   : QRect(0, 0, filled, height());
    if (!fill_.isNull()) {
      // The filled picture is laid over the same place it would take at 100 %, so its
      // gradient does not squeeze as the bar grows.
      const QRectF source(
          vertical_ ? 0.0 : 0.0,
          vertical_ ? fill_.height() * (1.0 - static_cast<double>(filled) / height()) : 0.0,
          vertical_ ? fill_.width() : fill_.width() * static_cast<double>(filled) / width(),
          vertical_ ? fill_.height() * static_cast<double>(filled) / height() : fill_.height());
      painter.drawImage(QRectF(target), fill_, source);
    } else {
      painter.fillRect(target, QColor(60, 150, 230));
    }
  }
  const QString percent = PercentText();
  if (!percent.isEmpty()) {
    painter.setPen(textColor_);
    painter.drawText(rect(), Qt::AlignCenter, percent);
  }
}
