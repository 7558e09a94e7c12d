#include "live_client/core/CVideoStatic.h"

#include <QMouseEvent>
#include <QPainter>
#include <cstring>

#include "live_client/core/KorvelColors.h"

namespace {

// Asks the surface's own UI thread to repaint after a picture arrived on another thread.
constexpr unsigned kRepaintMessage = platform::WM_USER + 0x101;

}  // namespace

CVideoStatic::CVideoStatic(QWidget* parent) : QWidget(parent), pump_(*this) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetMessageHandler([this](const platform::Message& message) -> platform::LRESULT {
    if (message.message == kRepaintMessage) update();
    return 0;
  });
}

CVideoStatic::~CVideoStatic() {
  pump_.Detach();
  CloseWindow();
}

void CVideoStatic::Present(const platform::Picture& picture) {
  if (!picture.bgra || picture.width <= 0 || picture.height <= 0) return;
  const int stride = picture.stride_bytes ? picture.stride_bytes : picture.width * 4;
  // Copied: the caller's buffer is only valid during the call. Pictures of an unchanged size
  // go into the image already held, so a running stream allocates nothing per picture.
  {
    std::lock_guard<std::mutex> guard(picture_lock_);
    if (picture_.width() == picture.width && picture_.height() == picture.height &&
        picture_.format() == QImage::Format_RGB32) {
      const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 4;
      for (int y = 0; y < picture.height; ++y)
        std::memcpy(picture_.scanLine(y), picture.bgra + static_cast<std::size_t>(y) * stride,
                    rowBytes);
    } else {
      picture_ = QImage(picture.bgra, picture.width, picture.height, stride, QImage::Format_RGB32)
                     .copy();
    }
  }
  ++present_count_;
  Post({kRepaintMessage, 0, 0});
}

platform::Rect CVideoStatic::ClientRect() const {
  return {0, 0, width_.load(), height_.load()};
}

void CVideoStatic::ClearPicture() {
  {
    std::lock_guard<std::mutex> guard(picture_lock_);
    picture_ = QImage();
  }
  update();
}

void CVideoStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  std::lock_guard<std::mutex> guard(picture_lock_);
  if (picture_.isNull())
    painter.fillRect(rect(), korvel::ColorRef(korvel::kSurfaceIdleColor));
  else
    painter.drawImage(rect(), picture_);
}

void CVideoStatic::resizeEvent(QResizeEvent* event) {
  width_ = width();
  height_ = height();
  QWidget::resizeEvent(event);
}

void CVideoStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit leftButtonDown();
  else if (event->button() == Qt::RightButton) emit rightButtonDown();
}

void CVideoStatic::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit leftDoubleClick();
}

void CVideoStatic::OnMessageQueued() { pump_.Schedule(); }
