#pragma once

// The weekly timetable grid: a header column of weekdays, a header row of hours and 7 x 24
// cells that the operator paints with the mouse. The left button switches cells on, the
// right button off:
//   - the corner switches the whole week;
//   - an hour in the header row switches that hour on all seven days;
//   - a weekday in the header column switches all 24 hours of that day;
//   - a drag over the cells switches the rectangle from the pressed cell to the released one.
// Every button press is also reported to the parent through ButtonDown. UI thread only.

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "live_client/storage/WeekSchedule.h"

class MWeek : public QWidget {
  Q_OBJECT

 public:
  // Header and cell sizes for a client area of width x height: hour columns cw wide after a
  // header column of x0 (it takes the remainder), weekday rows rh high under a header row of
  // y0.
  struct Geometry {
    int width = 0;
    int height = 0;
    int cw = 0;
    int x0 = 0;
    int rh = 0;
    int y0 = 0;
  };
  static Geometry GeometryFor(int width, int height);

  // Cell colours of the system (COLORREF 0x00BBGGRR): off white, on grey-green.
  static constexpr unsigned kCellOffColor = 0xFFFFFF;
  static constexpr unsigned kCellOnColor = 0xBDC7BD;

  explicit MWeek(QWidget* parent = nullptr);

  // 0 off, non-zero on; 0 outside the grid.
  int GetCell(int day, int hour) const;
  // Ignored outside the 7 x 24 cells. Redraws the cell.
  void SetCell(int day, int hour, int value);
  void SetAllCells(int value);
  // Cell (d, h) takes bit d of byte h, and back.
  void LoadSchedule(const ScheduleBytes& schedule);
  void StoreSchedule(ScheduleBytes& schedule) const;

  // Header texts in the system's 8-bit text: the weekday rows 0..6, then the corner.
  void SetDayLabels(const std::array<std::string, kScheduleDays + 1>& labels);
  // Reads them from the language texts "IDS_COL_WEEK0".."IDS_COL_WEEK6" and "IDS_COL_WEEKALL".
  void LoadDayLabels(const std::function<std::string(const std::string&)>& languageText);

  // Where cell (day, hour) lies in the client area, its grid lines included.
  QRect CellRect(int day, int hour) const;
  bool IsSelecting() const { return m_bDragging; }

 signals:
  // A button went down in the grid; `pointInParent` in the parent's client coordinates
  // (the grid's own when it has no parent).
  void ButtonDown(QPoint pointInParent, Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // A grid hidden or disabled during a drag never sees its release: the selection ends.
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  Geometry CurrentGeometry() const { return GeometryFor(width(), height()); }
  // The cell area as a rectangle; a selection's points are kept inside it, as the pointer
  // is confined to it during a drag.
  QRect CellArea() const;
  QPoint Confine(QPoint point) const;
  QRect FocusRect() const;
  void EndSelection();
  void UpdateColumn(int hour);
  void UpdateRow(int day);

  std::array<std::array<int, kScheduleHours>, kScheduleDays> m_cells{};
  std::array<std::string, kScheduleDays + 1> m_dayLabels;  // 8-bit; corner last
  bool m_bDragging = false;
  QPoint m_ptStart;
  QPoint m_ptCurrent;
};
