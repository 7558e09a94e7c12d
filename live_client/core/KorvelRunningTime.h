#pragma once

// Running time of the status line, from the 32-bit millisecond tick. The first reading is the
// start. When a reading is below the previous one the tick has wrapped (about every 49.7 days):
// the start becomes 0 and each wrap adds 50 days, so the day count keeps growing.

#include <cstdint>
#include <string>

class KorvelRunningTime {
 public:
  // Takes a reading; call once a second with the current tick.
  void Update(std::uint32_t tick_ms);
  // Whole days running: (now - start) / 86,400,000 + 50 x wraps.
  int Days() const;
  // "hh:mm:ss" of (now - start) modulo one day.
  std::string ClockText() const;

 private:
  bool started_ = false;
  std::uint32_t start_ms_ = 0;
  std::uint32_t now_ms_ = 0;
  int wraps_ = 0;
};
