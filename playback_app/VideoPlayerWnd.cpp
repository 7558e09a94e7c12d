#include "playback_app/VideoPlayerWnd.h"

#include <QPainter>
#include <QResizeEvent>

namespace lumaro {

namespace {

// Asks the window's own UI thread to repaint after a picture arrived on another thread. It
// goes through the window's message queue rather than a toolkit call built on the playback
// thread, so the hand-over is ordered by the queue's own lock.
constexpr unsigned kRepaintMessage = platform::WM_USER + 0x101;

}  // namespace

VideoPlayerWnd::VideoPlayerWnd(int index, QWidget* parent)
    : QWidget(parent), index_(index), pump_(*this) {
  setObjectName(QStringLiteral("VideoPlayerWnd%1").arg(index));
  setCursor(Qt::ArrowCursor);
  SetMessageHandler([this](const platform::Message& message) -> platform::LRESULT {
    if (message.message == kRepaintMessage) update();
    return 0;
  });
}

VideoPlayerWnd::~VideoPlayerWnd() {
  pump_.Detach();
  CloseWindow();
}

void VideoPlayerWnd::SetBackground(const QColor& color) {
  background_ = color;
  update();
}

void VideoPlayerWnd::Present(const platform::Picture& picture) {
  if (!picture.bgra || picture.width <= 0 || picture.height <= 0) return;
  const int stride = picture.stride_bytes ? picture.stride_bytes : picture.width * 4;
  QImage copy = QImage(picture.bgra, picture.width, picture.height, stride, QImage::Format_RGB32).copy();
  {
    std::lock_guard<std::mutex> guard(pictureLock_);
    picture_ = std::move(copy);
  }
  Post({kRepaintMessage, 0, 0});
}

platform::Rect VideoPlayerWnd::ClientRect() const { return platform::Rect{0, 0, width_.load(), height_.load()}; }

QImage VideoPlayerWnd::LastPicture() const {
  std::lock_guard<std::mutex> guard(pictureLock_);
  return picture_;
}

void VideoPlayerWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage picture = LastPicture();
  if (picture.isNull()) painter.fillRect(rect(), background_);
  else painter.drawImage(rect(), picture);
}

void VideoPlayerWnd::resizeEvent(QResizeEvent* event) {
  width_ = event->size().width();
  height_ = event->size().height();
  QWidget::resizeEvent(event);
}

}  // namespace lumaro
