#pragma once

// The drawing surface of one video window (control 1007). It is the platform window that the
// window's render port presents pictures into, from the render library's threads; until a
// picture arrives it shows the idle green.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "common/qt/QtMessagePump.h"
#include "platform/Window.h"

class CVideoStatic : public QWidget, public platform::Window {
  Q_OBJECT

 public:
  explicit CVideoStatic(QWidget* parent = nullptr);
  ~CVideoStatic() override;

  // Any thread: copies the picture and asks the UI thread to repaint.
  void Present(const platform::Picture& picture) override;
  // Any thread.
  platform::Rect ClientRect() const override;

  // Pictures presented so far (any thread).
  unsigned PresentCount() const { return present_count_.load(); }
  // Forgets the last picture, so the idle colour shows again (any thread; the repaint is
  // asked of the UI thread).
  void ClearPicture();

 signals:
  void leftButtonDown();
  void leftDoubleClick();
  void rightButtonDown();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void OnMessageQueued() override;

 private:
  QtMessagePump pump_;
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::atomic<unsigned> present_count_{0};
  // Lock order: spare_lock_, then picture_lock_. picture_lock_ is held only to exchange or
  // share the shown picture, never while pixels are copied or drawn.
  mutable std::mutex picture_lock_;
  QImage picture_;  // Guarded by picture_lock_: the picture shown
  std::mutex spare_lock_;
  QImage spare_;  // Guarded by spare_lock_: filled by Present, then exchanged with picture_
};
