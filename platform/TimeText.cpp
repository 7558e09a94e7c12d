#include "platform/TimeText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace platform {

namespace {

bool FillLocalTime(std::time_t seconds, uint16_t milliseconds, LocalTime& out) {
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return false;
  if (parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 65535) return false;
  out.year = static_cast<uint16_t>(parts.tm_year + 1900);
  out.month = static_cast<uint16_t>(parts.tm_mon + 1);
  out.dayOfWeek = static_cast<uint16_t>(parts.tm_wday);
  out.day = static_cast<uint16_t>(parts.tm_mday);
  out.hour = static_cast<uint16_t>(parts.tm_hour);
  out.minute = static_cast<uint16_t>(parts.tm_min);
  out.second = static_cast<uint16_t>(parts.tm_sec);
  out.milliseconds = milliseconds;
  return true;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The fields as a std::tm, or false when they do not name a calendar time.
bool ToParts(const LocalTime& time, std::tm& parts) {
  if (time.month < 1 || time.month > 12) return false;
  if (time.day < 1 || time.day > DaysInMonth(time.year, time.month)) return false;
  if (time.hour > 23 || time.minute > 59 || time.second > 60) return false;
  parts = std::tm{};
  parts.tm_year = time.year - 1900;
  parts.tm_mon = time.month - 1;
  parts.tm_mday = time.day;
  parts.tm_hour = time.hour;
  parts.tm_min = time.minute;
  parts.tm_sec = time.second;
  parts.tm_isdst = -1;
  return true;
}

// Bytes covered by the character at `at`: its whole sequence when it is well formed (a
// character GBK cannot hold is replaced as one), else 1, so that a stray byte never swallows
// the ASCII text after it.
std::size_t Utf8UnitLength(const unsigned char* at, std::size_t remaining) {
  const unsigned char lead = at[0];
  std::size_t length = 1;
  if (lead >= 0xC2 && lead < 0xE0) length = 2;
  else if (lead >= 0xE0 && lead < 0xF0) length = 3;
  else if (lead >= 0xF0 && lead < 0xF5) length = 4;
  if (length > remaining) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at[i] & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Converts with iconv, replacing each input the target cannot take by `replacement`.
// `skip(input, remaining)` says how many input bytes one bad unit covers.
template <typename Skip>
std::string Convert(const char* to, const char* from, std::string_view input, std::string_view replacement,
                    Skip skip, bool* ok) {
  bool clean = true;
  std::string output;
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // The host lacks the code page: hand back nothing rather than mislabelled bytes.
    if (ok != nullptr) *ok = input.empty();
    return output;
  }
  output.resize(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t used = 0;
  while (in_left > 0) {
    char* out = output.data() + used;
    std::size_t out_left = output.size() - used;
    const std::size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    used = output.size() - out_left;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      output.resize(output.size() * 2);
      continue;
    }
    // EILSEQ (not valid, or not representable) or EINVAL (cut off at the end).
    clean = false;
    if (output.size() - used < replacement.size()) output.resize(output.size() * 2 + replacement.size());
    output.replace(used, replacement.size(), replacement);
    used += replacement.size();
    const std::size_t step = std::min(in_left, skip(reinterpret_cast<const unsigned char*>(in), in_left));
    in += step;
    in_left -= step;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(converter);
  output.resize(used);
  if (ok != nullptr) *ok = clean;
  return output;
}

}  // namespace

LocalTime GetLocalTime() {
  const auto now = std::chrono::system_clock::now();
  const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(since_epoch / 1000);
  LocalTime time;
  FillLocalTime(seconds, static_cast<uint16_t>(since_epoch % 1000), time);
  return time;
}

bool ToLocalTime(std::time_t seconds, LocalTime& out) {
  LocalTime time;
  if (!FillLocalTime(seconds, 0, time)) return false;
  out = time;
  return true;
}

std::time_t FromLocalTime(const LocalTime& time) {
  std::tm parts;
  if (!ToParts(time, parts)) return -1;
  return mktime(&parts);
}

std::string FormatTime(const char* format, const LocalTime& time) {
  if (format == nullptr || *format == '\0') return {};
  std::tm parts;
  if (!ToParts(time, parts)) return {};
  // mktime fills in the weekday, day of year and daylight-saving state that %a, %j and %Z
  // need; the fields shown stay the caller's.
  std::tm filled = parts;
  if (mktime(&filled) != -1) {
    parts.tm_wday = filled.tm_wday;
    parts.tm_yday = filled.tm_yday;
    parts.tm_isdst = filled.tm_isdst;
    parts.tm_gmtoff = filled.tm_gmtoff;
    parts.tm_zone = filled.tm_zone;
  } else {
    parts.tm_wday = time.dayOfWeek % 7;
    parts.tm_isdst = 0;
  }
  char buffer[1024];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &parts);
  return std::string(buffer, length);
}

std::string FormatLocalTimeNow(const char* format) {
  return FormatTime(format, GetLocalTime());
}

std::string GbkToUtf8(std::string_view gbk, bool* ok) {
  // A bad lead byte is skipped alone, so an ASCII byte after it survives.
  return Convert("UTF-8", "CP936", gbk, "\xEF\xBF\xBD", [](const unsigned char*, std::size_t) { return std::size_t{1}; },
                 ok);
}

std::string Utf8ToGbk(std::string_view utf8, bool* ok) {
  return Convert("CP936", "UTF-8", utf8, "?",
                 Utf8UnitLength, ok);
}

int CompareNoCase(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    unsigned char a = static_cast<unsigned char>(left[i]);
    unsigned char b = static_cast<unsigned char>(right[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    if (a != b) return a < b ? -1 : 1;
  }
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

}  // namespace platform
