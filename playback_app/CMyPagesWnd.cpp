#include "playback_app/CMyPagesWnd.h"

#include <QMouseEvent>
#include <QPainter>

#include "common/TraceMessage.h"
#include "platform/Window.h"
#include "playback_app/VideoPlayerWnd.h"

namespace lumaro {

CMyPagesWnd::CMyPagesWnd(void* notify, QWidget* parent) : QWidget(parent), notify_(notify) {
  setObjectName(QStringLiteral("VideoWindow"));
  for (int i = 0; i < kVideoWindows; ++i) {
    auto* window = new VideoPlayerWnd(i, this);
    window->installEventFilter(this);
    windows_[static_cast<std::size_t>(i)] = window;
  }
  Arrange();
}

void CMyPagesWnd::SetSplit(int split) {
  split = std::clamp(split, 1, kMaxSplit);
  if (split != split_) previousSplit_ = split_;
  split_ = split;
  Arrange();
}

void CMyPagesWnd::Arrange() {
  if (split_ == 1) first_ = selected_;
  else if (split_ == 3) first_ = std::min(selected_, kVideoWindows - 9);
  else first_ = selected_ - selected_ % (split_ * split_);
  last_ = std::min(first_ + split_ * split_, kVideoWindows) - 1;
  for (int i = 0; i < kVideoWindows; ++i) {
    VideoPlayerWnd* window = windows_[static_cast<std::size_t>(i)];
    const QRect cell = CellRect(i);
    if (cell.isEmpty()) {
      window->hide();
      continue;
    }
    window->setGeometry(cell.adjusted(kGap, kGap, -kGap, -kGap));
    window->show();
  }
  update();
}

QRect CMyPagesWnd::CellRect(int index) const {
  if (index < first_ || index > last_) return {};
  const int slot = index - first_;
  const int cellWidth = width() / split_;
  const int cellHeight = height() / split_;
  return QRect(slot % split_ * cellWidth, slot / split_ * cellHeight, cellWidth, cellHeight);
}

void CMyPagesWnd::SelectWindow(int index) {
  if (index < 0 || index >= kVideoWindows || index == selected_) return;
  const int old = selected_;
  selected_ = index;
  if (split_ == 1 || index < first_ || index > last_) {
    Arrange();
  } else {
    update(CellRect(old));
    update(CellRect(index));
  }
}

void CMyPagesWnd::TriggerFullSize() {
  TraceMessage("Z: CMyPagesWnd::TriggerFullSize");
  SetSplit(split_ == 1 ? previousSplit_ : 1);
}

void CMyPagesWnd::SetFullScreen(bool on, const QRect& screen) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  if (on) {
    normalRect_ = geometry();
    setGeometry(screen);
    raise();
  } else {
    setGeometry(normalRect_);
  }
  Arrange();
}

void CMyPagesWnd::SetFrameColor(const QColor& color) {
  frameColor_ = color;
  update();
}

void CMyPagesWnd::Notify(int index) {
  if (notify_) platform::SendMessage(notify_, UM_SELECT_WINDOW, static_cast<platform::WPARAM>(index), 0);
}

void CMyPagesWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (split_ == 1) return;
  for (int i = first_; i <= last_; ++i) {
    painter.setPen(i == selected_ ? QColor(0, 255, 0) : frameColor_);
    painter.drawRect(CellRect(i).adjusted(0, 0, -1, -1));
  }
}

void CMyPagesWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void CMyPagesWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) emit FullScreenToggleRequested();
  QWidget::mousePressEvent(event);
}

bool CMyPagesWnd::eventFilter(QObject* watched, QEvent* event) {
  auto* window = qobject_cast<VideoPlayerWnd*>(watched);
  if (!window) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      emit FullScreenToggleRequested();
      return true;
    }
    SelectWindow(window->Index());
    Notify(window->Index());
    return true;
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    SelectWindow(window->Index());
    TriggerFullSize();
    Notify(window->Index());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lumaro
