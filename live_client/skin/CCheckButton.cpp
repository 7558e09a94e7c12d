#include "live_client/skin/CCheckButton.h"

#include <QMouseEvent>

CCheckButton::CCheckButton(QWidget* parent, int controlId) : CBmpButton(parent, controlId) {
  setCheckable(true);
}

void CCheckButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    emit parentMessage(kCheckButtonMessage, static_cast<quintptr>(ControlId()), 0);
  CBmpButton::mousePressEvent(event);
}

void CCheckButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    emit parentMessage(kCheckButtonMessage, static_cast<quintptr>(ControlId()), 1);
  CBmpButton::mouseReleaseEvent(event);
}
