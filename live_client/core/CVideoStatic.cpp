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
  const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 4;
  if (static_cast<std::size_t>(stride) < rowBytes) return;
  {
    // Copied (the caller's buffer is only valid during the call) into the spare image, without
    // the shown picture's lock: a repaint of this window on the UI thread never holds up the
    // decoding thread for longer than the exchange below. The spare image is reused while
    // its size stays, so a running stream allocates nothing per picture; only when a repaint
    // still draws it (it was the shown picture until the last exchange) is a new one made.
    std::lock_guard<std::mutex> fill(spare_lock_);
    if (spare_.width() != picture.width || spare_.height() != picture.height ||
        spare_.format() != QImage::Format_RGB32 || !spare_.isDetached())
      spare_ = QImage(picture.width, picture.height, QImage::Format_RGB32);
    if (spare_.isNull()) return;
    for (int y = 0; y < picture.height; ++y)
      std::memcpy(spare_.scanLine(y), picture.bgra + static_cast<std::size_t>(y) * stride,
                  rowBytes);
    std::lock_guard<std::mutex> guard(picture_lock_);
    picture_.swap(spare_);
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
  Post({kRepaintMessage, 0, 0});
}

void CVideoStatic::paintEvent(QPaintEvent*) {
  // The picture is shared, not copied, and drawn without the lock: a picture arriving
  // meanwhile goes into the spare image and is shown by the next repaint.
  QImage shown;
  {
    std::lock_guard<std::mutex> guard(picture_lock_);
    shown = picture_;
  }
  QPainter painter(this);
  if (shown.isNull())
    painter.fillRect(rect(), korvel::ColorRef(korvel::kSurfaceIdleColor));
  else
    painter.drawImage(rect(), shown);
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
