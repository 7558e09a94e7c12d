#pragma once

// The pager: hosts the 16 playback windows and shows 1, 4, 9 or 16 of them in an n x n grid
// around the selected window, with a one-pixel gap and a frame around each visible cell (the
// selected one green). A click selects a window, a double click toggles it to full size, a
// right click toggles full screen. Every selection is passed on to the owner window as
// UM_SELECT_WINDOW (window, 0). User-interface thread only.

#include <QColor>
#include <QRect>
#include <QWidget>
#include <array>

#include "playback_app/LumaroIds.h"

namespace lumaro {

class VideoPlayerWnd;

class CMyPagesWnd : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxSplit = 4;
  static constexpr int kGap = 1;

  // `notify`: the handle that gets UM_SELECT_WINDOW (the main dialog); may be null.
  CMyPagesWnd(void* notify, QWidget* parent);

  VideoPlayerWnd* Window(int index) const { return windows_[static_cast<std::size_t>(index)]; }
  // Grid of n x n windows, n clamped to 1..4.
  void SetSplit(int split);
  int Split() const { return split_; }
  int PreviousSplit() const { return previousSplit_; }
  // Ignored when out of range or already selected.
  void SelectWindow(int index);
  int SelectedWindow() const { return selected_; }
  int FirstVisible() const { return first_; }
  int LastVisible() const { return last_; }
  // From split 1 back to the previous split, from any other split to split 1.
  void TriggerFullSize();
  // Full screen: the pager covers the screen; off returns it to its normal rectangle.
  void SetFullScreen(bool on, const QRect& screen);
  bool IsFullScreen() const { return fullScreen_; }
  void SetFrameColor(const QColor& color);
  // Cell of visible window `index` before the gap is taken off (empty when hidden).
  QRect CellRect(int index) const;

 signals:
  // The operator asked for full screen to be toggled (right click).
  void FullScreenToggleRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Arrange();
  void Notify(int index);

  void* notify_;
  std::array<VideoPlayerWnd*, kVideoWindows> windows_{};
  int split_ = kMaxSplit;
  int previousSplit_ = kMaxSplit;
  int selected_ = 0;
  int first_ = 0;
  int last_ = kVideoWindows - 1;
  bool fullScreen_ = false;
  QRect normalRect_;
  QColor frameColor_{90, 90, 96};
};

}  // namespace lumaro
