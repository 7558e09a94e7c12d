#include "live_client/storage/MWeek.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <utility>

#include "platform/TimeText.h"

namespace {

constexpr int kColumns = kScheduleHours + 1;  // header column + hours
constexpr int kRows = kScheduleDays + 1;      // header row + weekdays

QColor FromColorRef(unsigned colorRef) {
  return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                static_cast<int>((colorRef >> 16) & 0xFF));
}

int ValueOfButton(Qt::MouseButton button) { return button == Qt::LeftButton ? 1 : 0; }

bool IsEditingButton(Qt::MouseButton button) {
  return button == Qt::LeftButton || button == Qt::RightButton;
}

// Draws `text` centred in `box`; a text wider or taller than the box starts at its left or
// top edge instead of spilling out on both sides.
void DrawCentred(QPainter& painter, const QRect& box, const std::string& text) {
  if (text.empty()) return;
  const QString shown = QString::fromStdString(platform::GbkToUtf8(text));
  const QFontMetrics metrics(painter.font());
  const int textWidth = metrics.horizontalAdvance(shown);
  const int textHeight = metrics.height();
  const int insetX = std::max(0, (box.width() - textWidth) / 2);
  const int insetY = std::max(0, (box.height() - textHeight) / 2);
  painter.drawText(QRect(box.left() + insetX, box.top() + insetY, textWidth, textHeight),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
}

}  // namespace

MWeek::Geometry MWeek::GeometryFor(int width, int height) {
  Geometry g;
  g.width = std::max(0, width);
  g.height = std::max(0, height);
  g.cw = g.width / kColumns;
  g.x0 = g.cw + g.width % kColumns;
  g.rh = g.height / kRows;
  g.y0 = g.rh + g.height % kRows;
  return g;
}

MWeek::MWeek(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MWeek"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

int MWeek::GetCell(int day, int hour) const {
  if (day < 0 || day >= kScheduleDays || hour < 0 || hour >= kScheduleHours) return 0;
  return m_cells[static_cast<std::size_t>(day)][static_cast<std::size_t>(hour)];
}

void MWeek::SetCell(int day, int hour, int value) {
  if (day < 0 || day >= kScheduleDays || hour < 0 || hour >= kScheduleHours) return;
  m_cells[static_cast<std::size_t>(day)][static_cast<std::size_t>(hour)] = value;
  update(CellRect(day, hour));
}

void MWeek::SetAllCells(int value) {
  for (auto& row : m_cells) row.fill(value);
  update();
}

void MWeek::LoadSchedule(const ScheduleBytes& schedule) {
  for (int day = 0; day < kScheduleDays; ++day)
    for (int hour = 0; hour < kScheduleHours; ++hour)
      m_cells[static_cast<std::size_t>(day)][static_cast<std::size_t>(hour)] =
          ScheduleCell(schedule, day, hour) ? 1 : 0;
  update();
}

void MWeek::StoreSchedule(ScheduleBytes& schedule) const {
  std::fill(schedule, schedule + kScheduleBytes, std::uint8_t{0});
  for (int day = 0; day < kScheduleDays; ++day)
    for (int hour = 0; hour < kScheduleHours; ++hour)
      SetScheduleCell(schedule, day, hour, GetCell(day, hour) != 0);
}

void MWeek::SetDayLabels(const std::array<std::string, kScheduleDays + 1>& labels) {
  m_dayLabels = labels;
  update();
}

void MWeek::LoadDayLabels(const std::function<std::string(const std::string&)>& languageText) {
  std::array<std::string, kScheduleDays + 1> labels;
  for (int day = 0; day < kScheduleDays; ++day)
    labels[static_cast<std::size_t>(day)] = languageText("IDS_COL_WEEK" + std::to_string(day));
  labels[kScheduleDays] = languageText("IDS_COL_WEEKALL");
  SetDayLabels(labels);
}

QRect MWeek::CellRect(int day, int hour) const {
  const Geometry g = CurrentGeometry();
  return QRect(g.x0 + hour * g.cw, g.y0 + day * g.rh, g.cw + 1, g.rh + 1);
}

QRect MWeek::CellArea() const {
  const Geometry g = CurrentGeometry();
  return QRect(QPoint(g.x0, g.y0), QPoint(g.width - 1, g.height - 1));
}

QPoint MWeek::Confine(QPoint point) const {
  const QRect area = CellArea();
  if (area.isEmpty()) return point;
  return QPoint(std::clamp(point.x(), area.left(), area.right()),
                std::clamp(point.y(), area.top(), area.bottom()));
}

QRect MWeek::FocusRect() const { return QRect(m_ptStart, m_ptCurrent).normalized(); }

void MWeek::UpdateColumn(int hour) {
  const Geometry g = CurrentGeometry();
  update(QRect(g.x0 + hour * g.cw, 0, g.cw + 1, g.height));
}

void MWeek::UpdateRow(int day) {
  const Geometry g = CurrentGeometry();
  update(QRect(0, g.y0 + day * g.rh, g.width, g.rh + 1));
}

void MWeek::EndSelection() {
  if (!m_bDragging) return;
  m_bDragging = false;
  update(FocusRect().adjusted(-1, -1, 1, 1));
}

void MWeek::hideEvent(QHideEvent* event) {
  EndSelection();
  QWidget::hideEvent(event);
}

void MWeek::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) EndSelection();
  QWidget::changeEvent(event);
}

void MWeek::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const Geometry g = CurrentGeometry();
  painter.fillRect(rect(), palette().color(QPalette::Button));
  painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
  painter.drawRect(0, 0, g.width - 1, g.height - 1);

  // A grid one pixel per cell would be all lines.
  if (g.cw > 1 && g.rh > 1) {
    for (int k = 0; k < kScheduleHours; ++k)
      painter.drawLine(g.x0 + k * g.cw, 0, g.x0 + k * g.cw, g.height - 1);
    for (int k = 0; k < kScheduleDays; ++k)
      painter.drawLine(0, g.y0 + k * g.rh, g.width - 1, g.y0 + k * g.rh);
  }

  painter.setBackgroundMode(Qt::TransparentMode);
  DrawCentred(painter, QRect(0, 0, g.x0, g.y0), m_dayLabels[kScheduleDays]);
  for (int day = 0; day < kScheduleDays; ++day)
    DrawCentred(painter, QRect(0, g.y0 + day * g.rh, g.x0, g.rh),
                m_dayLabels[static_cast<std::size_t>(day)]);
  for (int hour = 0; hour < kScheduleHours; ++hour)
    DrawCentred(painter, QRect(g.x0 + hour * g.cw, 0, g.cw, g.y0), std::to_string(hour));

  const QColor on = FromColorRef(kCellOnColor);
  const QColor off = FromColorRef(kCellOffColor);
  if (g.cw > 2 && g.rh > 2) {
    for (int day = 0; day < kScheduleDays; ++day)
      for (int hour = 0; hour < kScheduleHours; ++hour)
        painter.fillRect(QRect(g.x0 + hour * g.cw + 1, g.y0 + day * g.rh + 1, g.cw - 2, g.rh - 2),
                         GetCell(day, hour) ? on : off);
  }

  if (m_bDragging && m_ptStart != m_ptCurrent) {
    QPen focus(Qt::black, 1, Qt::DotLine);
    painter.setPen(focus);
    painter.setBrush(Qt::NoBrush);
    const QRect band = FocusRect();
    painter.drawRect(band.adjusted(0, 0, -1, -1));
  }
}

void MWeek::mousePressEvent(QMouseEvent* event) {
  const Qt::MouseButton button = event->button();
  const QPoint point = event->position().toPoint();
  // A selection whose button is no longer held (its release went elsewhere) is over.
  if (m_bDragging && (event->buttons() & ~Qt::MouseButtons(button)) == Qt::NoButton)
    EndSelection();
  if (IsEditingButton(button) && rect().contains(point) && !m_bDragging) {
    const Geometry g = CurrentGeometry();
    const int value = ValueOfButton(button);
    const int x = point.x();
    const int y = point.y();
    if (x <= g.x0 && y <= g.y0) {
      SetAllCells(value);
    } else if (y <= g.y0) {
      if (g.cw > 0) {
        const int hour = (x - g.x0) / g.cw;
        for (int day = 0; day < kScheduleDays; ++day) SetCell(day, hour, value);
        UpdateColumn(hour);
      }
    } else if (x <= g.x0) {
      if (g.rh > 0) {
        const int day = (y - g.y0) / g.rh;
        for (int hour = 0; hour < kScheduleHours; ++hour) SetCell(day, hour, value);
        UpdateRow(day);
      }
    } else if (CellArea().adjusted(1, 1, -1, -1).contains(point) && g.cw > 0 && g.rh > 0) {
      m_bDragging = true;
      m_ptStart = point;
      m_ptCurrent = point;
    }
  }
  // A press during a drag keeps the selection's start: the selection ends with the first
  // button released, which decides whether the cells go on or off.
  const QPoint inParent = parentWidget() ? mapToParent(point) : point;
  emit ButtonDown(inParent, button);
  event->accept();
}

void MWeek::mouseMoveEvent(QMouseEvent* event) {
  if (!m_bDragging) return;
  const QRect before = FocusRect();
  m_ptCurrent = Confine(event->position().toPoint());
  update(before.adjusted(-1, -1, 1, 1));
  update(FocusRect().adjusted(-1, -1, 1, 1));
}

void MWeek::mouseReleaseEvent(QMouseEvent* event) {
  const Qt::MouseButton button = event->button();
  if (!IsEditingButton(button) || !m_bDragging) return;
  EndSelection();

  const Geometry g = CurrentGeometry();
  const QPoint end = Confine(event->position().toPoint());
  if (end.x() <= g.x0 || end.y() <= g.y0 || g.cw <= 0 || g.rh <= 0) return;
  const int startHour = (m_ptStart.x() - g.x0) / g.cw;
  const int startDay = (m_ptStart.y() - g.y0) / g.rh;
  const int endHour = (end.x() - g.x0) / g.cw;
  const int endDay = (end.y() - g.y0) / g.rh;
  const auto inside = [](int day, int hour) {
    return day >= 0 && day < kScheduleDays && hour >= 0 && hour < kScheduleHours;
  };
  if (!inside(startDay, startHour) || !inside(endDay, endHour)) return;
  const int value = ValueOfButton(button);
  for (int day = std::min(startDay, endDay); day <= std::max(startDay, endDay); ++day)
    for (int hour = std::min(startHour, endHour); hour <= std::max(startHour, endHour); ++hour)
      SetCell(day, hour, value);
}
