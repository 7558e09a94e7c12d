#include "playback_app/C_MonthView.h"

#include <QColor>
#include <QTextCharFormat>

namespace lumaro {

namespace {

constexpr int kPropDay = 19;
constexpr int kPropMonth = 20;
constexpr int kPropYear = 21;

QColor ColourOf(std::int32_t colorref) {
  const auto v = static_cast<std::uint32_t>(colorref);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

QString ColourText(std::int32_t colorref) { return ColourOf(colorref).name(); }

}  // namespace

C_MonthView::C_MonthView(QWidget* parent) : QCalendarWidget(parent) {
  setObjectName(QStringLiteral("C_MonthView"));
  connect(this, &QCalendarWidget::clicked, this, [this](QDate picked) {
    if (!m_handler) return;
    bool cancel = false;
    std::string text;
    m_handler(kMonthViewDayPicked, picked, cancel, text);
  });
}

bool C_MonthView::GetProperty(std::uint32_t dispid, std::int16_t& value) const {
  if (dispid < kMonthViewDispBase) return false;
  const QDate day = selectedDate();
  switch (static_cast<int>(dispid - kMonthViewDispBase)) {
    case kPropYear: value = static_cast<std::int16_t>(day.year()); return true;
    case kPropMonth: value = static_cast<std::int16_t>(day.month()); return true;
    case kPropDay: value = static_cast<std::int16_t>(day.day()); return true;
    default: return false;
  }
}

bool C_MonthView::SetProperty(std::uint32_t dispid, std::int32_t value) {
  if (dispid < kMonthViewDispBase) return false;
  const int number = static_cast<int>(dispid - kMonthViewDispBase);
  if (number != 0 && number != 2 && number != 5 && number != 9 && number != 10 && number != 15) return false;
  m_properties[number] = value;
  ApplyLook();
  return true;
}

std::int32_t C_MonthView::Property(int number) const {
  const auto it = m_properties.find(number);
  return it == m_properties.end() ? 0 : it->second;
}

void C_MonthView::ApplyLook() {
  if (Property(15) == 0) return;
  // The theme writes the same light colour for the names, the numbers and the title text, so
  // the month is drawn on a dark face of its own where all of them stay readable; week
  // numbers would only crowd the narrow control.
  setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  // The face colour is taken a shade darker, so the light title and selection texts stand
  // out from it clearly; weekends keep the names' colour, as a red could not be read on it.
  const QColor face = ColourOf(Property(9)).darker(115);
  QTextCharFormat names;
  names.setForeground(ColourOf(Property(2)));
  names.setBackground(face);
  setHeaderTextFormat(names);
  QTextCharFormat weekend;
  weekend.setForeground(ColourOf(Property(2)));
  setWeekdayTextFormat(Qt::Saturday, weekend);
  setWeekdayTextFormat(Qt::Sunday, weekend);
  setStyleSheet(QStringLiteral("QCalendarWidget QWidget#qt_calendar_navigationbar { background: %1; }"
                               "QCalendarWidget QToolButton { color: %2; }"
                               "QCalendarWidget QAbstractItemView { background: rgb(24,24,24); color: %3;"
                               " selection-background-color: %1; selection-color: %2; }")
                    .arg(face.name(), ColourText(Property(10)), ColourText(Property(0))));
}

}  // namespace lumaro
