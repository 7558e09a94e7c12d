#pragma once

// The month view of the TBlack theme: a calendar reached through numbered properties and a
// day-picked event, as the dialog uses it. Dispatch ids are kMonthViewDispBase plus a property
// number; the chosen day is read from properties 21 (year), 20 (month) and 19 (day). Six
// properties set once after creation choose its look: 15 turns the custom look on, 9 is the
// title colour, 10 the title text colour, 2 the weekday names' colour and 0 the day numbers'
// colour, all on the theme's dark face (COLORREF numbers, 0x00BBGGRR); 5 is kept as set.

#include <QCalendarWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace lumaro {

inline constexpr std::uint32_t kMonthViewDispBase = 0x68030000;
inline constexpr int kMonthViewDayPicked = 1;  // dispatch id of the day-picked event

class C_MonthView : public QCalendarWidget {
  Q_OBJECT
 public:
  explicit C_MonthView(QWidget* parent);

  // Reads a 16-bit property (year, month, day); false for an unknown dispatch id.
  bool GetProperty(std::uint32_t dispid, std::int16_t& value) const;
  // Writes a 32-bit property; false for an unknown or read-only dispatch id.
  bool SetProperty(std::uint32_t dispid, std::int32_t value);
  std::int32_t Property(int number) const;

  // Fired (dispatch id 1) when the operator picks a day, with the day, a flag and a text
  // passed by reference; handlers may ignore them and read the day properties instead.
  using DayPickedHandler = std::function<void(int dispid, QDate& date, bool& cancel, std::string& text)>;
  void SetDayPickedHandler(DayPickedHandler handler) { m_handler = std::move(handler); }

 private:
  void ApplyLook();

  std::map<int, std::int32_t> m_properties;
  DayPickedHandler m_handler;
};

}  // namespace lumaro
