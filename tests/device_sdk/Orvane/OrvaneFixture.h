#pragma once

// Shared pieces of the DVR SDK tests: a simulator on the test's own loopback address, a
// logged-in handle, and callbacks that count and keep what the SDK delivers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device_sdk/Orvane/Orvane.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

namespace orvane_test {

constexpr unsigned short kPort = 8670;

// What a picture or sound callback has received. The callbacks run on SDK threads.
struct Received {
  std::mutex lock;
  std::condition_variable changed;
  int records = 0;
  int bad_records = 0;             // record fields inconsistent with each other
  unsigned padding_sum = 0;        // keeps the read of a sound block's full buffer
  std::vector<uint8_t> last;       // copy of the last picture or block
  int width = 0, height = 0;
  std::vector<std::chrono::steady_clock::time_point> times;

  int count() {
    std::lock_guard<std::mutex> guard(lock);
    return records;
  }
  // Waits until at least n records have arrived.
  bool WaitFor(int n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, timeout, [&] { return records >= n; });
  }
  std::vector<uint8_t> Last() {
    std::lock_guard<std::mutex> guard(lock);
    return last;
  }
};

// The ORVANE_DATA_CB the tests register, with a Received as context.
void Collect(ORVANE_FRAME* record, void* context);

// A simulator started with `extra` arguments on `address`, and the SDK started.
class OrvaneTest : public ::testing::Test {
 protected:
  void StartSim(const std::string& address, std::vector<std::string> extra = {});
  // createDVR + login with the simulator's credentials; the handle is destroyed at TearDown.
  int Login(const std::string& address, const char* user = "admin", const char* password = "pw",
            int* result = nullptr);
  // Starts the preview of `channel` the way the live client does.
  void StartPreview(int handle, int channel, Received* pictures, Received* sound);
  void StopPreview(int handle, int channel);
  // Writes a catalogue file for the simulator before it starts.
  void WriteCatalogue(const std::string& text);

  void SetUp() override;
  void TearDown() override;

  // What the callbacks receive; members, so that they outlive the handles (TearDown).
  Received pictures_;
  Received sound_;
  suite::test::TempFolder folder_{"orvane"};
  dvr_sim_test::DvrSimProcess sim_;
  std::vector<int> handles_;
};

// Mean absolute difference of two equally sized byte ranges of pictures, rows [y0, y1) of the
// luma plane of a `width` wide picture.
double LumaDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                      int y0, int y1);

}  // namespace orvane_test
