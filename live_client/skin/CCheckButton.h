#pragma once

// Picture check button (the auto-paging check box). Drawn like CBmpButton, pressed face while
// checked. Reports to its parent: left-button down sends message 2224 with (control id, 0),
// left-button up message 2224 with (control id, 1), through parentMessage.

#include <QtGlobal>

#include "live_client/skin/CBmpButton.h"

inline constexpr unsigned kCheckButtonMessage = 2224;

class CCheckButton : public CBmpButton {
  Q_OBJECT

 public:
  explicit CCheckButton(QWidget* parent = nullptr, int controlId = 0);

 signals:
  // A message for the parent window: (message, wParam, lParam) with the system's numbers.
  void parentMessage(unsigned message, quintptr wParam, qintptr lParam);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};
