#include "playback_app/ChannelButtons.h"

#include <QMouseEvent>
#include <QRect>

#include "playback_app/SkinControls.h"

namespace lumaro {

ChannelButtons::ChannelButtons(const std::array<CPictureButton*, kChannels>& buttons,
                               std::function<void(int, bool)> apply, QObject* parent)
    : QObject(parent), m_buttons(buttons), m_apply(std::move(apply)) {
  for (CPictureButton* button : m_buttons)
    if (button) button->installEventFilter(this);
  if (auto* area = qobject_cast<QWidget*>(parent)) area->installEventFilter(this);
}

void ChannelButtons::Finish(const QPoint& pointer) {
  Mark(pointer);
  const std::array<bool, kChannels> marked = m_pending;
  m_pending.fill(false);
  for (int i = 0; i < kChannels; ++i)
    if (marked[static_cast<std::size_t>(i)]) m_apply(i + 1, m_bSelecting);
}

bool ChannelButtons::FilterArea(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->position().toPoint();
      if (m_dragArea.isEmpty() || !m_dragArea.contains(at)) return false;
      if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) return false;
      m_bDragging = true;
      m_bAreaDrag = true;
      m_bSelecting = mouse->button() == Qt::LeftButton;
      m_pPressed = nullptr;
      m_pressPoint = at;
      m_pending.fill(false);
      return true;
    }
    case QEvent::MouseMove:
      if (!m_bAreaDrag) return false;
      Mark(static_cast<QMouseEvent*>(event)->position().toPoint());
      return true;
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!m_bAreaDrag || (mouse->button() == Qt::LeftButton) != m_bSelecting) return false;
      m_bDragging = false;
      m_bAreaDrag = false;
      Finish(mouse->position().toPoint());
      return true;
    }
    default:
      return false;
  }
}

void ChannelButtons::Mark(const QPoint& pointer) {
  const QRect area = QRect(m_pressPoint, pointer).normalized();
  for (int i = 0; i < kChannels; ++i) {
    CPictureButton* button = m_buttons[static_cast<std::size_t>(i)];
    bool touched = button && button->isVisible() && button->geometry().intersects(area.adjusted(0, 0, 1, 1));
    if (m_bSelecting) touched = touched && button->isEnabled() && !button->IsLatched();
    else touched = touched && button->IsLatched();
    m_pending[static_cast<std::size_t>(i)] = touched;
  }
}

bool ChannelButtons::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parent()) return FilterArea(event);
  auto* button = qobject_cast<CPictureButton*>(watched);
  if (!button) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) return false;
      m_bDragging = true;
      m_bSelecting = mouse->button() == Qt::LeftButton;
      m_pPressed = button;
      m_pressPoint = button->mapToParent(mouse->position().toPoint());
      m_pending.fill(false);
      return false;  // the button keeps its own pressed look and click
    }
    case QEvent::MouseMove: {
      if (!m_bDragging || button != m_pPressed) return false;
      Mark(button->mapToParent(static_cast<QMouseEvent*>(event)->position().toPoint()));
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!m_bDragging || button != m_pPressed) return false;
      const bool left = mouse->button() == Qt::LeftButton;
      if (left != m_bSelecting) return false;
      m_bDragging = false;
      const QPoint pointer = mouse->position().toPoint();
      // Released on the pressed button: a click, which the button handles itself.
      if (left && button->rect().contains(pointer)) {
        m_pending.fill(false);
        return false;
      }
      Finish(button->mapToParent(pointer));
      return false;
    }
    default:
      return false;
  }
}

}  // namespace lumaro
