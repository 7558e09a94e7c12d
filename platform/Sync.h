#pragma once

// Synchronisation objects of the suite: a recursive critical section, and the waitable
// objects (events, semaphores, kernel-style mutexes) with waits for one, any or all of them.
//
// Every waitable object shares one process-wide wait mechanism: a single lock guards the
// state of all waitable objects and the list of threads waiting on each. A signal hands the
// object directly to a waiting thread under that lock, so an auto-reset event that is set
// once releases exactly one waiter, and a wait for all objects takes every object in one
// step or none of them. Timed waits run on the steady clock, so changing the wall clock
// neither shortens nor stretches a time-out.
//
// Interlocked operations are std::atomic; there is no wrapper for them.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace platform {

// Results and limits of the waits, with the values the system's callers compare against.
inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;          // time-out that never expires
inline constexpr uint32_t WAIT_OBJECT_0 = 0x00000000u;     // + index of the object that ended the wait
inline constexpr uint32_t WAIT_ABANDONED_0 = 0x00000080u;  // + index of a mutex whose owner ended holding it
inline constexpr uint32_t WAIT_TIMEOUT = 0x00000102u;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;       // bad arguments, or the object was destroyed
inline constexpr std::size_t MAXIMUM_WAIT_OBJECTS = 64;

// Identifier of the calling thread: the kernel thread id, unique among the live threads of
// the process and the same value Thread::ThreadId() reports for a platform::Thread.
uint32_t CurrentThreadId();

// A recursive lock for short critical regions. The thread that entered it may enter again;
// it is free once Leave() has been called as often as Enter(). Satisfies the standard
// Lockable requirements, so std::lock_guard<CriticalSection> and std::unique_lock work.
// Leave() by a thread that does not hold it is a programming error (undefined, as it is for
// the system's own critical sections).
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

namespace detail {
struct WaitBlock;
class WaitEngine;
}  // namespace detail

// Base of every object a thread can wait on. Objects are neither copied nor moved: waiting
// threads hold their address. Destroying an object while threads wait on it ends those
// waits with WAIT_FAILED (the owner should stop its waiters first; this only keeps a
// mistake from hanging or crashing the process).
class Waitable {
 public:
  virtual ~Waitable();
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

 protected:
  Waitable() = default;

  // The three hooks below run with the process-wide wait lock held; they must not block
  // or call back into the wait functions.
  // True when a wait by thread `thread_id` on this object would be satisfied now.
  virtual bool IsSignalledFor(uint32_t thread_id) const = 0;
  // Takes the object for `thread_id` (consumes an auto-reset signal, a semaphore count,
  // takes mutex ownership). Only called right after IsSignalledFor returned true.
  virtual void Acquire(uint32_t thread_id) = 0;
  // True when Acquire made the thread the owner of an abandoned mutex; clears that state.
  virtual bool TakeAbandoned() { return false; }

  // Lock guarding the state of every waitable object; derived classes change their
  // signalled state only while holding it, then call HandOff().
  static std::mutex& WaitLock();
  // Ends every wait on this object with WAIT_FAILED. Each final class calls it first in
  // its destructor, before its own state is gone.
  void FailWaiters();
  // Gives the object to waiting threads, oldest first, while it stays signalled for them.
  // Call with WaitLock() held after the object became signalled.
  void HandOff();

 private:
  friend class detail::WaitEngine;
  // Threads waiting on this object, oldest first. Guarded by WaitLock().
  std::vector<detail::WaitBlock*> waiters_;
};

enum class EventReset { Auto, Manual };

// An event. An auto-reset event stays signalled until one wait is satisfied by it, then
// resets itself: each Set() releases exactly one waiting thread. A manual-reset event
// releases every waiting thread and stays signalled until Reset().
class Event final : public Waitable {
 public:
  explicit Event(EventReset reset, bool initially_signalled = false);
  ~Event() override;

  // Signal the event. Always true (the result mirrors the system's call shape).
  bool Set();
  // Make the event non-signalled. Always true.
  bool Reset();
  // Release the threads waiting right now (manual-reset: all that can proceed; auto-reset:
  // at most one), then leave the event non-signalled. Threads that start waiting later are
  // not released.
  bool Pulse();

  bool IsManualReset() const { return reset_ == EventReset::Manual; }
  // Snapshot of the state, for diagnostics and tests; it may change at once.
  bool IsSignalled() const;

 private:
  bool IsSignalledFor(uint32_t thread_id) const override;
  void Acquire(uint32_t thread_id) override;

  const EventReset reset_;
  bool signalled_;  // Guarded by WaitLock()
};

// A counting semaphore: signalled while the count is above zero; each satisfied wait takes
// one count. Release() never raises the count above the maximum given at creation.
class Semaphore final : public Waitable {
 public:
  // Null when the arguments are invalid: maximum must be above 0 and
  // 0 <= initial <= maximum.
  static std::unique_ptr<Semaphore> Create(long initial_count, long maximum_count);
  ~Semaphore() override;

  // Adds `count` (> 0). Fails, changing nothing, when the count would pass the maximum or
  // `count` is not positive. `previous_count`, when given, receives the count before the
  // call on success.
  bool Release(long count = 1, long* previous_count = nullptr);

  long MaximumCount() const { return maximum_; }
  // Snapshot of the count, for diagnostics and tests.
  long CurrentCount() const;

 private:
  Semaphore(long initial_count, long maximum_count);
  bool IsSignalledFor(uint32_t thread_id) const override;
  void Acquire(uint32_t thread_id) override;

  const long maximum_;
  long count_;  // Guarded by WaitLock()
};

// A kernel-style mutex: owned by one thread at a time, recursive for its owner (each
// satisfied wait by the owner counts once more, each Release() once less). A mutex whose
// owning platform::Thread ends without releasing it is abandoned: the next wait that takes
// it returns WAIT_ABANDONED_0 + index and the caller becomes the owner.
class Mutex final : public Waitable {
 public:
  // `initially_owned`: the creating thread owns it once.
  explicit Mutex(bool initially_owned = false);
  ~Mutex() override;

  // Gives up one level of ownership. Fails, changing nothing, when the calling thread is
  // not the owner.
  bool Release();

  // Snapshot: the owner's thread id, or 0 when free.
  uint32_t OwnerThreadId() const;

 private:
  friend class detail::WaitEngine;
  bool IsSignalledFor(uint32_t thread_id) const override;
  void Acquire(uint32_t thread_id) override;
  bool TakeAbandoned() override;

  uint32_t owner_ = 0;       // Guarded by WaitLock()
  uint32_t recursion_ = 0;   // Guarded by WaitLock()
  bool abandoned_ = false;   // Guarded by WaitLock()
};

// Waits until `object` is signalled for the calling thread, takes it and returns
// WAIT_OBJECT_0 (WAIT_ABANDONED_0 for an abandoned mutex); WAIT_TIMEOUT when `timeout_ms`
// passes first (0 only tests); WAIT_FAILED for a null object or when the object is
// destroyed during the wait.
uint32_t WaitForOne(Waitable* object, uint32_t timeout_ms);

// Waits until any object is signalled and takes only that one. When several are signalled
// the lowest index wins. Returns WAIT_OBJECT_0 + index (WAIT_ABANDONED_0 + index),
// WAIT_TIMEOUT, or WAIT_FAILED for an empty list, more than MAXIMUM_WAIT_OBJECTS entries or
// a null entry.
uint32_t WaitForAny(std::span<Waitable* const> objects, uint32_t timeout_ms);
uint32_t WaitForAny(std::initializer_list<Waitable*> objects, uint32_t timeout_ms);

// Waits until every object is signalled at the same moment and takes them all in one step:
// until then nothing is taken (an auto-reset event in the list stays signalled, a semaphore
// keeps its count). Returns WAIT_OBJECT_0 (WAIT_ABANDONED_0 + index of an abandoned mutex
// among them), WAIT_TIMEOUT, or WAIT_FAILED as WaitForAny, and also when an object appears
// twice in the list.
uint32_t WaitForAll(std::span<Waitable* const> objects, uint32_t timeout_ms);
uint32_t WaitForAll(std::initializer_list<Waitable*> objects, uint32_t timeout_ms);

// The combined form the system's callers use: `wait_all` chooses WaitForAll or WaitForAny.
uint32_t WaitForMultiple(std::span<Waitable* const> objects, bool wait_all, uint32_t timeout_ms);

}  // namespace platform
