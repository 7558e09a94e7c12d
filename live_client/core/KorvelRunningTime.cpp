#include "live_client/core/KorvelRunningTime.h"

#include <cstdio>

namespace {
constexpr std::uint32_t kDayMs = 86'400'000;
constexpr int kDaysPerWrap = 50;
}  // namespace

void KorvelRunningTime::Update(std::uint32_t tick_ms) {
  if (!started_) {
    started_ = true;
    start_ms_ = tick_ms;
  } else if (tick_ms < now_ms_) {
    start_ms_ = 0;
    ++wraps_;
  }
  now_ms_ = tick_ms;
}

int KorvelRunningTime::Days() const {
  // After a wrap the start is 0, so the difference never goes negative.
  const std::uint32_t elapsed = now_ms_ >= start_ms_ ? now_ms_ - start_ms_ : 0;
  return static_cast<int>(elapsed / kDayMs) + kDaysPerWrap * wraps_;
}

std::string KorvelRunningTime::ClockText() const {
  const std::uint32_t elapsed = now_ms_ >= start_ms_ ? now_ms_ - start_ms_ : 0;
  const std::uint32_t seconds = (elapsed % kDayMs) / 1000;
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60,
                seconds % 60);
  return text;
}
