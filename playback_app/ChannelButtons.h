#pragma once

// Drag selection over the 24 channel buttons: a drag with the left button selects every
// enabled, unselected button the rectangle from the press point to the pointer touches; a drag
// with the right button releases every selected button it touches. A press and release on one
// button stays a plain click (the button toggles itself). A drag may also start on the
// dialog's background inside the drag-selection area beside the buttons. User-interface
// thread only.

#include <QObject>
#include <QPoint>
#include <QRect>
#include <array>
#include <functional>

#include "playback_app/LumaroIds.h"

namespace lumaro {

class CPictureButton;

class ChannelButtons : public QObject {
  Q_OBJECT
 public:
  // `apply(channel, select)` selects or releases one channel (1..24) as its button would.
  ChannelButtons(const std::array<CPictureButton*, kChannels>& buttons, std::function<void(int, bool)> apply,
                 QObject* parent);

  // Channels marked by the drag in progress (for the pending look and for tests).
  const std::array<bool, kChannels>& Pending() const { return m_pending; }
  // Where, on the buttons' parent, a press starts a drag selection (empty: nowhere).
  void SetDragArea(const QRect& area) { m_dragArea = area; }
  const QRect& DragArea() const { return m_dragArea; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Mark(const QPoint& pointer);
  bool FilterArea(QEvent* event);
  void Finish(const QPoint& pointer);

  std::array<CPictureButton*, kChannels> m_buttons;
  std::function<void(int, bool)> m_apply;
  std::array<bool, kChannels> m_pending{};
  bool m_bDragging = false;
  bool m_bSelecting = true;  // left button: select; right button: release
  CPictureButton* m_pPressed = nullptr;
  QPoint m_pressPoint;       // in the buttons' parent's coordinates
  QRect m_dragArea;
  bool m_bAreaDrag = false;  // the drag started on the parent, not on a button
};

}  // namespace lumaro
