#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "tests/platform/sync/SyncTestSupport.h"

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using platform_test::Eventually;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

// Threads that each wait once on `object` without limit and count their wake-ups.
struct Waiters {
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  Waiters(Waitable* object, int count) {
    for (int i = 0; i < count; ++i) {
      threads.emplace_back([this, object] {
        if (WaitForOne(object, INFINITE) == WAIT_OBJECT_0) ++woken;
      });
    }
  }
  ~Waiters() {
    for (auto& thread : threads) thread.join();
  }
};

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
  Event event(EventReset::Auto);
  Waiters waiters(&event, 3);
  std::this_thread::sleep_for(milliseconds(30));  // let all three block
  EXPECT_EQ(waiters.woken.load(), 0);

  event.Set();
  ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 1; }));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(waiters.woken.load(), 1) << "one Set released more than one waiter";
  EXPECT_FALSE(event.IsSignalled()) << "the released waiter must consume the signal";

  event.Set();
  event.Set();
  ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 3; }));

  // With nobody waiting the signal is kept for the next wait, and only for one.
  event.Set();
  event.Set();  // a second Set on a signalled event does not count twice
  EXPECT_EQ(WaitForOne(&event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForOne(&event, 0), WAIT_TIMEOUT);
}

TEST(Event, ManualResetReleasesAllAndStaysSignalledUntilReset) {
  Event event(EventReset::Manual);
  {
    Waiters waiters(&event, 4);
    std::this_thread::sleep_for(milliseconds(30));
    event.Set();
    ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 4; }));
  }
  EXPECT_EQ(WaitForOne(&event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForOne(&event, 0), WAIT_OBJECT_0);
  event.Reset();
  EXPECT_EQ(WaitForOne(&event, 0), WAIT_TIMEOUT);

  Event initially(EventReset::Manual, true);
  EXPECT_EQ(WaitForOne(&initially, 0), WAIT_OBJECT_0);
}

TEST(Event, PulseReleasesOnlyCurrentWaitersAndLeavesEventReset) {
  Event manual(EventReset::Manual);
  manual.Pulse();  // nobody waiting: nothing is remembered
  EXPECT_EQ(WaitForOne(&manual, 0), WAIT_TIMEOUT);
  {
    Waiters waiters(&manual, 2);
    std::this_thread::sleep_for(milliseconds(30));
    manual.Pulse();
    ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 2; }));
  }
  EXPECT_FALSE(manual.IsSignalled());

  Event automatic(EventReset::Auto);
  Waiters waiters(&automatic, 2);
  std::this_thread::sleep_for(milliseconds(30));
  automatic.Pulse();
  ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 1; }));
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(waiters.woken.load(), 1);
  EXPECT_FALSE(automatic.IsSignalled());
  automatic.Set();  // release the second waiter so the threads can be joined
}

TEST(WaitAll, TimesOutWithoutTakingAnythingWhenOneObjectIsMissing) {
  Event ready(EventReset::Auto, true);
  Event missing(EventReset::Auto);
  auto slots = Semaphore::Create(1, 5);
  ASSERT_TRUE(slots);

  const auto start = Clock::now();
  EXPECT_EQ(WaitForAll({&ready, slots.get(), &missing}, 60), WAIT_TIMEOUT);
  EXPECT_GE(ElapsedMs(start), 60);
  EXPECT_TRUE(ready.IsSignalled()) << "a timed-out wait-all consumed an auto-reset event";
  EXPECT_EQ(slots->CurrentCount(), 1) << "a timed-out wait-all took a semaphore count";

  // Once the last one is signalled, a blocked wait-all takes all of them in one step.
  std::atomic<uint32_t> result{0xDEAD};
  std::thread waiter([&] { result = WaitForAll({&ready, slots.get(), &missing}, INFINITE); });
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(result.load(), 0xDEADu);
  missing.Set();
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  EXPECT_FALSE(ready.IsSignalled());
  EXPECT_FALSE(missing.IsSignalled());
  EXPECT_EQ(slots->CurrentCount(), 0);
}

TEST(WaitAll, SignalGoesToASingleWaiterWhileWaitAllCannotProceed) {
  Event shared(EventReset::Auto);
  Event never(EventReset::Auto);
  std::atomic<uint32_t> all_result{0xDEAD};
  std::thread all_waiter([&] { all_result = WaitForAll({&shared, &never}, 200); });
  std::this_thread::sleep_for(milliseconds(30));
  std::atomic<uint32_t> one_result{0xDEAD};
  std::thread one_waiter([&] { one_result = WaitForOne(&shared, INFINITE); });
  std::this_thread::sleep_for(milliseconds(30));
  shared.Set();  // the wait-all is first in line but cannot use it alone
  one_waiter.join();
  all_waiter.join();
  EXPECT_EQ(one_result.load(), WAIT_OBJECT_0);
  EXPECT_EQ(all_result.load(), WAIT_TIMEOUT);
}

TEST(WaitAny, ReturnsLowestSignalledIndexAndTakesOnlyThatObject) {
  Event first(EventReset::Auto);
  Event second(EventReset::Auto, true);
  Event third(EventReset::Auto, true);
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), WAIT_OBJECT_0 + 1);
  EXPECT_FALSE(second.IsSignalled());
  EXPECT_TRUE(third.IsSignalled());
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForAny({&first, &second, &third}, 0), WAIT_TIMEOUT);

  // A blocked wait-any wakes with the index of the object that was signalled.
  std::atomic<uint32_t> result{0xDEAD};
  std::vector<Waitable*> objects{&first, &second, &third};
  std::thread waiter([&] { result = WaitForMultiple(objects, false, INFINITE); });
  std::this_thread::sleep_for(milliseconds(30));
  third.Set();
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0 + 2);
}

TEST(Wait, RejectsBadArgumentsAndTimesOutOnTheSteadyClock) {
  Event event(EventReset::Manual, true);
  EXPECT_EQ(WaitForOne(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForAny(std::span<Waitable* const>(), 0), WAIT_FAILED);
  EXPECT_EQ(WaitForAny({&event, nullptr}, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForAll({&event, &event}, 0), WAIT_FAILED);
  std::vector<Waitable*> too_many(MAXIMUM_WAIT_OBJECTS + 1, &event);
  EXPECT_EQ(WaitForAny(too_many, 0), WAIT_FAILED);
  std::vector<Waitable*> most(MAXIMUM_WAIT_OBJECTS, &event);
  EXPECT_EQ(WaitForAny(most, 0), WAIT_OBJECT_0);

  Event idle(EventReset::Auto);
  auto start = Clock::now();
  EXPECT_EQ(WaitForOne(&idle, 0), WAIT_TIMEOUT);
  EXPECT_LT(ElapsedMs(start), 20);
  start = Clock::now();
  EXPECT_EQ(WaitForOne(&idle, 80), WAIT_TIMEOUT);
  const long waited = ElapsedMs(start);
  EXPECT_GE(waited, 80);
  EXPECT_LT(waited, 1000);
}

TEST(Wait, DestroyingAWaitedObjectEndsTheWaitWithFailure) {
  auto event = std::make_unique<Event>(EventReset::Auto);
  Event other(EventReset::Auto);
  std::atomic<uint32_t> result{0xDEAD};
  Waitable* objects[2] = {&other, event.get()};
  std::thread waiter([&] { result = WaitForAny(objects, INFINITE); });
  std::this_thread::sleep_for(milliseconds(30));
  event.reset();
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_FAILED);
  other.Set();  // the surviving object no longer lists the finished wait
  EXPECT_EQ(WaitForOne(&other, 0), WAIT_OBJECT_0);
}

TEST(Semaphore, CountsDownOnWaitsAndNeverPassesItsMaximum) {
  EXPECT_FALSE(Semaphore::Create(0, 0));
  EXPECT_FALSE(Semaphore::Create(-1, 3));
  EXPECT_FALSE(Semaphore::Create(4, 3));

  auto semaphore = Semaphore::Create(2, 3);
  ASSERT_TRUE(semaphore);
  EXPECT_EQ(WaitForOne(semaphore.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForOne(semaphore.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForOne(semaphore.get(), 0), WAIT_TIMEOUT);

  long previous = -1;
  EXPECT_TRUE(semaphore->Release(2, &previous));
  EXPECT_EQ(previous, 0);
  previous = -1;
  EXPECT_FALSE(semaphore->Release(2, &previous)) << "2 + 2 passes the maximum of 3";
  EXPECT_EQ(previous, -1);
  EXPECT_EQ(semaphore->CurrentCount(), 2);
  EXPECT_FALSE(semaphore->Release(0));
  EXPECT_TRUE(semaphore->Release(1));
  EXPECT_FALSE(semaphore->Release(1));
  EXPECT_EQ(semaphore->CurrentCount(), 3);

  // Each count released wakes one blocked waiter.
  auto queue = Semaphore::Create(0, 10);
  Waiters waiters(queue.get(), 3);
  std::this_thread::sleep_for(milliseconds(30));
  queue->Release(2);
  ASSERT_TRUE(Eventually([&] { return waiters.woken.load() == 2; }));
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(waiters.woken.load(), 2);
  queue->Release(1);
}

TEST(Mutex, IsRecursiveForItsOwnerAndOnlyTheOwnerReleasesIt) {
  Mutex mutex;
  EXPECT_EQ(mutex.OwnerThreadId(), 0u);
  ASSERT_EQ(WaitForOne(&mutex, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForOne(&mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(mutex.OwnerThreadId(), CurrentThreadId());

  std::thread stranger([&] {
    EXPECT_EQ(WaitForOne(&mutex, 30), WAIT_TIMEOUT);
    EXPECT_FALSE(mutex.Release());
  });
  stranger.join();

  EXPECT_TRUE(mutex.Release());
  std::thread still_held([&] { EXPECT_EQ(WaitForOne(&mutex, 0), WAIT_TIMEOUT); });
  still_held.join();
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(mutex.Release()) << "released more often than taken";
  EXPECT_EQ(mutex.OwnerThreadId(), 0u);

  // A blocked waiter gets the mutex when the owner lets go.
  Mutex owned(true);
  std::atomic<uint32_t> result{0xDEAD};
  std::thread waiter([&] {
    result = WaitForOne(&owned, INFINITE);
    EXPECT_TRUE(owned.Release());
  });
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(result.load(), 0xDEADu);
  EXPECT_TRUE(owned.Release());
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

TEST(Mutex, OwnerEndingWithoutReleaseAbandonsIt) {
  Mutex mutex;
  Event other(EventReset::Manual);
  std::thread owner([&] { ASSERT_EQ(WaitForOne(&mutex, 0), WAIT_OBJECT_0); });
  owner.join();
  EXPECT_EQ(WaitForAny({&other, &mutex}, 100), WAIT_ABANDONED_0 + 1);
  EXPECT_EQ(mutex.OwnerThreadId(), CurrentThreadId());
  EXPECT_TRUE(mutex.Release());
  EXPECT_EQ(WaitForOne(&mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
  EXPECT_TRUE(mutex.Release());
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CriticalSection section;
  std::lock_guard<CriticalSection> outer(section);
  {
    std::lock_guard<CriticalSection> inner(section);
    std::thread other([&] { EXPECT_FALSE(section.TryEnter()); });
    other.join();
  }
  std::thread other([&] { EXPECT_FALSE(section.TryEnter()); });
  other.join();
}

}  // namespace
