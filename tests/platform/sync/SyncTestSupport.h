#pragma once
// Shared by the synchronisation and thread tests.

#include <chrono>
#include <functional>
#include <thread>

namespace platform_test {

// Polls `condition` for up to two seconds; waits in these tests end well within that.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return condition();
}

}  // namespace platform_test
