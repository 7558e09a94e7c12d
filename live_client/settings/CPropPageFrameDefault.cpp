#include "live_client/settings/CPropPageFrameDefault.h"

#include <QLinearGradient>
#include <QPainter>

CPropPageFrameDefault::CPropPageFrameDefault(QWidget* parent) : QWidget(parent) {
  setObjectName(QString::fromLatin1(kClassName));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect CPropPageFrameDefault::PageRect() const {
  return rect().adjusted(1, kCaptionHeight + 4, -1, -1);
}

QSize CPropPageFrameDefault::minimumSizeHint() const {
  QSize page(0, 0);
  for (const QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    page = page.expandedTo(child->minimumSizeHint()).expandedTo(child->minimumSize());
  const QRect inset = PageRect();
  return page + QSize(width() - inset.width(), height() - inset.height());
}

void CPropPageFrameDefault::ShowPage(QWidget* page, const QString& caption, const QString& message) {
  if (page_ && page_ != page) page_->hide();
  page_ = page;
  caption_ = caption;
  message_ = page ? QString() : message;
  if (page_) {
    page_->setParent(this);
    page_->setGeometry(PageRect());
    page_->show();
  }
  updateGeometry();
  update();
}

void CPropPageFrameDefault::resizeEvent(QResizeEvent* event) {
  if (page_) page_->setGeometry(PageRect());
  QWidget::resizeEvent(event);
}

void CPropPageFrameDefault::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QRect band(0, 0, width(), kCaptionHeight);
  QLinearGradient gradient(band.topLeft(), band.topRight());
  gradient.setColorAt(0, palette().highlight().color());
  gradient.setColorAt(1, palette().window().color());
  painter.fillRect(band, gradient);
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(palette().highlightedText().color());
  painter.drawText(band.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, caption_);
  if (!page_ && !message_.isEmpty()) {
    painter.setFont(QFont());
    painter.setPen(palette().windowText().color());
    painter.drawText(PageRect().adjusted(8, 8, -8, -8), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     message_);
  }
}
