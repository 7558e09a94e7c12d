#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace platform;

TEST(Tick, WrapsLikeA32BitMillisecondCounter) {
  SetTickOffsetForTesting(0);
  const uint64_t real = TickCount64();
  // Place the tick 30 ms before the wrap.
  SetTickOffsetForTesting((uint64_t{1} << 32) - (real & 0xFFFFFFFFu) - 30);
  const uint32_t before = TickCount();
  EXPECT_GE(before, 0xFFFFFFFFu - 40);
  Sleep(70);
  const uint32_t after = TickCount();
  SetTickOffsetForTesting(0);
  EXPECT_LT(after, 1000u) << "the tick did not wrap";
  const uint32_t elapsed = after - before;  // unsigned subtraction across the wrap
  EXPECT_GE(elapsed, 70u);
  EXPECT_LT(elapsed, 1000u);
}

TEST(Tick, SleepWaitsAtLeastTheGivenTime) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(40);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(40));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  Sleep(0);  // yields and returns
}

}  // namespace
