#pragma once

// One playback window: a child widget that is also a platform::Window, so the player engine
// and the render library present pictures into it by handle. Pictures may arrive on any
// thread; they are kept in a latest-picture slot and drawn on the UI thread.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "platform/Window.h"
#include "common/qt/QtMessagePump.h"

namespace lumaro {

class VideoPlayerWnd : public QWidget, public platform::Window {
  Q_OBJECT
 public:
  VideoPlayerWnd(int index, QWidget* parent);
  ~VideoPlayerWnd() override;

  int Index() const { return index_; }
  void SetBackground(const QColor& color);

  // platform::Window, any thread.
  void Present(const platform::Picture& picture) override;
  platform::Rect ClientRect() const override;

  // The last picture presented (a copy), for snapshots of what is shown.
  QImage LastPicture() const;

 protected:
  void OnMessageQueued() override { pump_.Schedule(); }
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  const int index_;
  QColor background_{0, 0, 0};
  mutable std::mutex pictureLock_;
  QImage picture_;  // Guarded by pictureLock_
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  QtMessagePump pump_;
};

}  // namespace lumaro
