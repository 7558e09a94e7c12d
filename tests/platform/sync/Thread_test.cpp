#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Tick.h"
#include "tests/platform/sync/SyncTestSupport.h"

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using platform_test::Eventually;

// A worker shaped like the system's: ticks until its stop event is signalled.
class TickingWorker : public Thread {
 public:
  ~TickingWorker() override { KillThread(); }
  std::atomic<int> runs{0};
  std::atomic<int> ticks{0};
  std::atomic<uint32_t> body_thread{0};

 protected:
  uint32_t Run() override {
    ++runs;
    body_thread = CurrentThreadId();
    while (!IsStopRequested()) {
      if (WaitForOne(StopEvent(), 5) != WAIT_TIMEOUT) break;
      ++ticks;
    }
    return 0;
  }
  uint32_t ExitCode() override { return 7; }
};

TEST(Thread, StartsSuspendedAndRunsOnlyAfterResume) {
  TickingWorker worker;
  EXPECT_NE(worker.ThreadId(), 0u);
  EXPECT_TRUE(worker.HasThread());
  EXPECT_TRUE(worker.IsAlive());
  std::this_thread::sleep_for(milliseconds(40));
  EXPECT_EQ(worker.runs.load(), 0) << "the body ran before Resume()";

  // Suspending before the start stacks: two resumes are needed.
  EXPECT_EQ(worker.Suspend(), 1);
  EXPECT_EQ(worker.Resume(), 2);
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(worker.runs.load(), 0);
  EXPECT_EQ(worker.Resume(), 1);
  ASSERT_TRUE(Eventually([&] { return worker.ticks.load() > 2; }));
  EXPECT_EQ(worker.body_thread.load(), worker.ThreadId());
  EXPECT_EQ(worker.Resume(), 0) << "a count of 0 stays 0";
  EXPECT_EQ(worker.Suspend(), -1) << "a running thread cannot be suspended mid-way";
}

TEST(Thread, KillThreadStopsAWaitingBodyAndJoinsIt) {
  TickingWorker worker;
  worker.Resume();
  ASSERT_TRUE(Eventually([&] { return worker.ticks.load() > 0; }));
  const auto start = Clock::now();
  EXPECT_TRUE(worker.KillThread());
  EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), 500);
  EXPECT_TRUE(worker.IsStopRequested());
  EXPECT_FALSE(worker.HasThread());
  EXPECT_FALSE(worker.IsAlive());
  EXPECT_EQ(worker.StopEvent(), nullptr);
  EXPECT_EQ(worker.ThreadId(), 0u);
  EXPECT_EQ(worker.EndCode(), 7u);
  EXPECT_EQ(worker.Resume(), -1);
  const int ticks = worker.ticks.load();
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(worker.ticks.load(), ticks);
  EXPECT_TRUE(worker.KillThread()) << "a second stop is harmless";
  EXPECT_EQ(worker.runs.load(), 1);
}

TEST(Thread, KilledBeforeResumeNeverRunsItsBody) {
  auto worker = std::make_unique<TickingWorker>();
  worker->KillThread();
  EXPECT_EQ(worker->runs.load(), 0);
  // Destroying a never-resumed worker must not hang either.
  auto unused = std::make_unique<TickingWorker>();
  unused.reset();
}

TEST(Thread, DestructorWaitsForTheCurrentStepToFinish) {
  // The body is in the middle of a slow step when the owner destroys it: destruction waits
  // for the step, and the step's result is not lost.
  class SlowStep : public Thread {
   public:
    explicit SlowStep(std::atomic<bool>& finished) : finished_(finished) {}
    ~SlowStep() override { KillThread(); }
    std::atomic<bool> started{false};

   protected:
    uint32_t Run() override {
      started = true;
      std::this_thread::sleep_for(milliseconds(60));
      finished_ = true;
      return 0;
    }

   private:
    std::atomic<bool>& finished_;
  };
  std::atomic<bool> finished{false};
  auto worker = std::make_unique<SlowStep>(finished);
  worker->Resume();
  ASSERT_TRUE(Eventually([&] { return worker->started.load(); }));
  worker.reset();
  EXPECT_TRUE(finished.load());
}

TEST(Thread, BodyMayStopAndDestroyItself) {
  class SelfEnding : public Thread {
   public:
    explicit SelfEnding(std::atomic<bool>& done) : done_(done) {}
    ~SelfEnding() override { KillThread(); }

   protected:
    uint32_t Run() override {
      std::atomic<bool>& done = done_;
      delete this;  // stops itself from its own thread: must neither wait forever nor crash
      done = true;
      return 0;
    }

   private:
    std::atomic<bool>& done_;
  };
  std::atomic<bool> done{false};
  auto* worker = new SelfEnding(done);
  worker->Resume();
  EXPECT_TRUE(Eventually([&] { return done.load(); }));
  std::this_thread::sleep_for(milliseconds(20));  // let the host thread finish its exit path
}

TEST(Thread, OwnerDestroyingASelfStoppedBodyWaitsForItsLastSteps) {
  // The body stops itself (as a worker does from its own callback) and goes on with the rest
  // of its step; the owner then destroys the object from another thread. Destruction waits
  // for the body, which still uses its object's members and its end code.
  class SelfStopping : public Thread {
   public:
    explicit SelfStopping(std::atomic<bool>& finished) : finished_(finished) {}
    ~SelfStopping() override { KillThread(); }
    std::atomic<bool> stopped_itself{false};

   protected:
    uint32_t Run() override {
      KillThread();
      stopped_itself = true;
      std::this_thread::sleep_for(milliseconds(60));
      steps_ += 1;
      finished_ = true;
      return 0;
    }
    uint32_t ExitCode() override { return steps_; }

   private:
    std::atomic<bool>& finished_;
    uint32_t steps_ = 0;
  };
  std::atomic<bool> finished{false};
  auto worker = std::make_unique<SelfStopping>(finished);
  worker->Resume();
  ASSERT_TRUE(Eventually([&] { return worker->stopped_itself.load(); }));
  worker.reset();
  EXPECT_TRUE(finished.load()) << "the object was destroyed under its running body";
}

TEST(PeriodicTimer, TicksAtItsPeriodAndStopsCleanly) {
  PeriodicTimer timer;
  std::atomic<int> ticks{0};
  EXPECT_FALSE(timer.Start(0, [] {}));
  ASSERT_TRUE(timer.Start(20, [&] { ++ticks; }));
  EXPECT_FALSE(timer.Start(20, [] {})) << "already running";
  EXPECT_TRUE(timer.IsRunning());
  std::this_thread::sleep_for(milliseconds(210));
  timer.Stop();
  const int counted = ticks.load();
  EXPECT_GE(counted, 5);
  EXPECT_LE(counted, 11);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ticks.load(), counted) << "ticked after Stop()";
  EXPECT_FALSE(timer.IsRunning());
  ASSERT_TRUE(timer.Start(10, [&] { ++ticks; })) << "a stopped timer can start again";
}

}  // namespace
