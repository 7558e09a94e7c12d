#include "platform/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {

// Test offset added to every reading; process-wide because the tick is.
std::atomic<uint64_t> g_tickOffsetMs{0};

}  // namespace

uint64_t TickCount64() {
  // The steady clock counts from boot on this host, so ticks of different processes agree.
  const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
  return static_cast<uint64_t>(ms) + g_tickOffsetMs.load(std::memory_order_relaxed);
}

uint32_t TickCount() {
  return static_cast<uint32_t>(TickCount64());
}

void SetTickOffsetForTesting(uint64_t offset_ms) {
  g_tickOffsetMs.store(offset_ms, std::memory_order_relaxed);
}

void Sleep(uint32_t milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == 0xFFFFFFFFu) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  // sleep_until on the steady clock: a relative sleep interrupted by a signal resumes for
  // the remaining time only, and wall-clock changes do not affect it.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::this_thread::sleep_until(until);
}

}  // namespace platform
