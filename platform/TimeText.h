#pragma once

// Local time, time formatting and the 8-bit text of the system.
//
// The system keeps its 8-bit text in code page 936 (GBK): stored files, language files and
// recorder replies stay in that code page, and text is converted to UTF-8 only where it
// meets the user interface.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace platform {

// A broken-down local time with milliseconds.
struct LocalTime {
  uint16_t year = 0;          // e.g. 2010
  uint16_t month = 0;         // 1..12
  uint16_t dayOfWeek = 0;     // 0 = Sunday .. 6 = Saturday
  uint16_t day = 0;           // 1..31
  uint16_t hour = 0;          // 0..23
  uint16_t minute = 0;        // 0..59
  uint16_t second = 0;        // 0..59 (60 on a leap second)
  uint16_t milliseconds = 0;  // 0..999
};

// The current local time (the host's time zone, TZ honoured).
LocalTime GetLocalTime();

// Converts seconds since 1970-01-01 UTC to local time (milliseconds 0). False when the
// host cannot convert the value (out of range); `out` is then unchanged.
bool ToLocalTime(std::time_t seconds, LocalTime& out);

// Seconds since 1970-01-01 UTC of a local time, or -1 when the fields do not name a time
// (month 0, day 32, ...). dayOfWeek and milliseconds are ignored.
std::time_t FromLocalTime(const LocalTime& time);

// Formats `time` with a strftime format ("%Y%m%d_%H%M%S"). Empty result for a null or empty
// format, or an invalid time; a result longer than 1023 characters is empty as well.
std::string FormatTime(const char* format, const LocalTime& time);

// The current local time formatted as FormatTime does.
std::string FormatLocalTimeNow(const char* format);

// GBK (code page 936) text to UTF-8. Bytes that are not valid GBK become U+FFFD each, and
// `ok` (when given) is set false; valid text gives `ok` true. Never fails otherwise.
std::string GbkToUtf8(std::string_view gbk, bool* ok = nullptr);

// UTF-8 text to GBK. Characters GBK cannot hold, and bytes that are not valid UTF-8, become
// '?' each and set `ok` false.
std::string Utf8ToGbk(std::string_view utf8, bool* ok = nullptr);

// ASCII comparison without case (only A-Z/a-z fold; other bytes, including GBK lead and
// trail bytes, compare as they are). <0, 0, >0 like strcmp; a prefix sorts first.
int CompareNoCase(std::string_view left, std::string_view right);
inline bool EqualsNoCase(std::string_view left, std::string_view right) {
  return left.size() == right.size() && CompareNoCase(left, right) == 0;
}

}  // namespace platform
