#pragma once

// A button of the PTZ pad: pressing it sends the PTZ message with its code and 1 (start) to
// the main dialog, releasing it the same with 0 (stop), both synchronously. The automatic-scan
// button toggles and shows its checked state with the pressed face. UI thread only.

#include "live_client/skin/CBmpButton.h"

namespace platform {
class Window;
}

class CYuntaiButton : public CBmpButton {
  Q_OBJECT

 public:
  // `owner` receives the PTZ messages.
  CYuntaiButton(QWidget* parent, int controlId, platform::Window* owner);

  // The face drawn now: -1 none, 0 hover, 1 normal, 2 pressed, 3 disabled.
  int State() const;
  int nCode = -1;      // PTZ code sent, -1 until set
  int bPressed = 0;    // the left button is down

  void SetCheckable(bool checkable) { setCheckable(checkable); }
  void SetChecked(bool checked) { setChecked(checked); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  platform::Window* owner_;
};

// Set on a press, cleared on the release that follows (one press at a time on the pad).
extern int g_bPtzReleasePending;
