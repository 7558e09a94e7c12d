#include "live_client/core/CYuntaiButton.h"

#include <QMouseEvent>

#include "live_client/core/KorvelIds.h"
#include "platform/Window.h"

// UI thread only: a release is sent once for the press before it.
int g_bPtzReleasePending = 0;

CYuntaiButton::CYuntaiButton(QWidget* parent, int controlId, platform::Window* owner)
    : CBmpButton(parent, controlId), owner_(owner) {}

int CYuntaiButton::State() const {
  switch (CurrentFace()) {
    case ButtonFace::Hover: return 0;
    case ButtonFace::Normal: return 1;
    case ButtonFace::Pressed: return 2;
    case ButtonFace::Disabled: return 3;
  }
  return -1;
}

void CYuntaiButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && isEnabled()) {
    bPressed = 1;
    g_bPtzReleasePending = 1;
    if (owner_)
      owner_->Send({korvel::WM_KORVEL_PTZ, static_cast<platform::WPARAM>(nCode), 1});
  }
  CBmpButton::mousePressEvent(event);
}

void CYuntaiButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && bPressed) {
    bPressed = 0;
    g_bPtzReleasePending = 0;
    if (owner_)
      owner_->Send({korvel::WM_KORVEL_PTZ, static_cast<platform::WPARAM>(nCode), 0});
  }
  CBmpButton::mouseReleaseEvent(event);
}
