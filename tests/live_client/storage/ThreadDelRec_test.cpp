#include "live_client/storage/CThreadDelRec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "live_client/storage/MDiskManager.h"
#include "platform/Tick.h"
#include "tests/live_client/storage/RecordingFake.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

using suite::test::FakeDiskSpace;
using suite::test::RecordingFake;
using suite::test::TempDriveTable;

namespace {

using Calls = std::vector<std::string>;

class ThreadDelRecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    space_.Set('C', 90000, 100000);
    space_.Set('D', 5000, 10000);
    disks_ = std::make_unique<MDiskManager>();
    drives_ = std::make_unique<CRecordDrives>(*disks_, settings_, diskList_, noDiskSpace_);
    drives_->BuildDiskList();
    recording_ = std::make_unique<RecordingFake>(noDiskSpace_, drives_.get());
  }

  // Waits (bounded) until the fake has seen `count` calls.
  bool WaitForCalls(std::size_t count, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      if (recording_->Calls().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  TempDriveTable table_{"CD", 'C'};
  FakeDiskSpace space_;
  CKorvelSettings settings_;
  std::vector<std::string> diskList_;
  std::atomic<int> noDiskSpace_{0};
  std::unique_ptr<MDiskManager> disks_;
  std::unique_ptr<CRecordDrives> drives_;
  std::unique_ptr<RecordingFake> recording_;
};

}  // namespace

TEST_F(ThreadDelRecTest, EachTickRunsTheWatchdogThenTheTimerStepsThenTheHook) {
  // A thread stopped before it was resumed never ticks.
  MakeMaintenanceThreadFactory(*drives_, *recording_)().reset();
  CThreadDelRec thread(*drives_, *recording_, 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(recording_->Calls().empty());

  thread.Resume();
  ASSERT_TRUE(WaitForCalls(7));
  thread.KillThread();
  const Calls calls = recording_->Calls();
  // The first tick finds no drive chosen and switches to D before the timer steps run.
  ASSERT_GE(calls.size(), 7u);
  EXPECT_EQ(Calls(calls.begin(), calls.begin() + 7),
            (Calls{"DiskChange D:\\", "DealTimerRec", "StopTimerRec", "Hook", "DealTimerRec",
                   "StopTimerRec", "Hook"}));
  // Stopped: no tick after KillThread returned, and whole ticks only.
  EXPECT_EQ((calls.size() - 1) % 3, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(recording_->Calls().size(), calls.size());
}

TEST_F(ThreadDelRecTest, TicksOnceASecond) {
  CThreadDelRec thread(*drives_, *recording_);
  const std::uint32_t start = platform::TickCount();
  thread.Resume();
  ASSERT_TRUE(WaitForCalls(1 + 3 * 2, 5000));
  const std::uint32_t elapsed = platform::TickCount() - start;
  thread.KillThread();
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 3500u);
}

TEST_F(ThreadDelRecTest, SlowTickDelaysTheNextWithoutOverlapOrSkipping) {
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::uint32_t> starts;
  recording_->onStep = [&](const std::string& step) {
    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
    if (step == "DealTimerRec") {
      starts.push_back(platform::TickCount());
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    inside.fetch_sub(1);
  };
  CThreadDelRec thread(*drives_, *recording_, 50);
  thread.Resume();
  ASSERT_TRUE(WaitForCalls(1 + 3 * 3));
  thread.KillThread();
  EXPECT_EQ(overlaps.load(), 0);
  ASSERT_GE(starts.size(), 3u);
  // Each tick waits its full period after the slow one has finished.
  for (std::size_t i = 1; i < starts.size(); ++i)
    EXPECT_GE(starts[i] - starts[i - 1], 350u) << "tick " << i;
}

TEST_F(ThreadDelRecTest, StopWaitsForTheTickUnderWay) {
  std::atomic<bool> inStep{false};
  std::atomic<bool> stepDone{false};
  recording_->onStep = [&](const std::string& step) {
    if (step != "StopTimerRec") return;
    inStep = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    stepDone = true;
  };
  auto thread = std::make_unique<CThreadDelRec>(*drives_, *recording_, 10);
  thread->Resume();
  while (!inStep) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // The dialog closes in the middle of a tick: destruction returns only once it is over, and
  // the tick still runs to its end (the hook included).
  thread.reset();
  EXPECT_TRUE(stepDone.load());
  EXPECT_EQ(recording_->Calls().back(), "Hook");
}
