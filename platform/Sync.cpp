#include "platform/Sync.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <unordered_set>

namespace platform {

namespace detail {

inline constexpr uint32_t kPending = 0xFFFFFFFEu;  // no result yet; never a wait result

// One thread's wait, living on that thread's stack for the duration of the wait.
// Every field but `wake` is guarded by the wait lock.
struct WaitBlock {
  std::span<Waitable* const> objects;
  bool all = false;
  uint32_t thread_id = 0;
  uint32_t result = kPending;  // set by whoever ends the wait
  std::condition_variable wake;
};

class WaitEngine {
 public:
  // Lock and registry live for the whole process (never destroyed) so that objects and
  // thread-exit hooks running during process teardown still find them.
  static std::mutex& Lock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
  }
  // Every live Mutex, for abandoning the ones an ending thread still owns. Guarded by Lock().
  static std::unordered_set<Mutex*>& Mutexes() {
    static auto* mutexes = new std::unordered_set<Mutex*>;
    return *mutexes;
  }

  // With the lock held: takes the objects of `block` if its wait can be satisfied now and
  // stores the result. False leaves every object as it was.
  static bool TrySatisfy(WaitBlock& block) {
    const uint32_t thread_id = block.thread_id;
    if (!block.all) {
      for (std::size_t i = 0; i < block.objects.size(); ++i) {
        Waitable* object = block.objects[i];
        if (object->IsSignalledFor(thread_id)) {
          object->Acquire(thread_id);
          const bool abandoned = object->TakeAbandoned();
          block.result = (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + static_cast<uint32_t>(i);
          return true;
        }
      }
      return false;
    }
    for (Waitable* object : block.objects) {
      if (!object->IsSignalledFor(thread_id)) return false;
    }
    uint32_t result = WAIT_OBJECT_0;
    for (std::size_t i = 0; i < block.objects.size(); ++i) {
      block.objects[i]->Acquire(thread_id);
      if (block.objects[i]->TakeAbandoned() && result == WAIT_OBJECT_0) {
        result = WAIT_ABANDONED_0 + static_cast<uint32_t>(i);
      }
    }
    block.result = result;
    return true;
  }

  static void Register(WaitBlock& block) {
    for (Waitable* object : block.objects) object->waiters_.push_back(&block);
  }

  static void Unregister(WaitBlock& block) {
    for (Waitable* object : block.objects) {
      auto& list = object->waiters_;
      list.erase(std::remove(list.begin(), list.end(), &block), list.end());
    }
  }

  static void HandOff(Waitable& object) {
    if (object.waiters_.empty()) return;
    // Satisfying a wait changes the waiter lists, so walk a copy; oldest first.
    const std::vector<WaitBlock*> waiting = object.waiters_;
    for (WaitBlock* block : waiting) {
      if (block->result != kPending) continue;
      if (TrySatisfy(*block)) {
        Unregister(*block);
        block->wake.notify_one();
      }
    }
  }

  static void FailWaiters(Waitable& object) {
    while (!object.waiters_.empty()) {
      WaitBlock* block = object.waiters_.front();
      block->result = WAIT_FAILED;
      Unregister(*block);
      block->wake.notify_one();
    }
  }

  static void AbandonMutexesOf(uint32_t thread_id) {
    std::lock_guard<std::mutex> hold(Lock());
    for (Mutex* mutex : Mutexes()) {
      if (mutex->owner_ != thread_id) continue;
      mutex->owner_ = 0;
      mutex->recursion_ = 0;
      mutex->abandoned_ = true;
      HandOff(*mutex);
    }
  }

  static uint32_t Wait(std::span<Waitable* const> objects, bool all, uint32_t timeout_ms);
};

namespace {

// Abandons the mutexes a thread still owns when that thread ends. Instantiated on a thread
// the first time it waits or creates an owned mutex, which covers every way a thread can
// come to own one.
struct ThreadExitWatch {
  uint32_t thread_id = 0;
  ~ThreadExitWatch() {
    if (thread_id != 0) WaitEngine::AbandonMutexesOf(thread_id);
  }
};

void WatchThreadExit(uint32_t thread_id) {
  thread_local ThreadExitWatch watch;
  watch.thread_id = thread_id;
}

}  // namespace

uint32_t WaitEngine::Wait(std::span<Waitable* const> objects, bool all, uint32_t timeout_ms) {
  if (objects.empty() || objects.size() > MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (objects[i] == nullptr) return WAIT_FAILED;
    // Taking the same object twice in one atomic step has no meaning.
    if (all && std::find(objects.begin(), objects.begin() + i, objects[i]) != objects.begin() + i) {
      return WAIT_FAILED;
    }
  }
  const uint32_t thread_id = CurrentThreadId();
  WatchThreadExit(thread_id);
  // The deadline is taken before the lock so that time spent waiting for the lock counts.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);

  std::unique_lock<std::mutex> hold(Lock());
  WaitBlock block;
  block.objects = objects;
  block.all = all;
  block.thread_id = thread_id;
  if (TrySatisfy(block)) return block.result;
  if (timeout_ms == 0) return WAIT_TIMEOUT;

  Register(block);
  while (block.result == kPending) {
    if (timeout_ms == INFINITE) {
      block.wake.wait(hold);
    } else if (block.wake.wait_until(hold, deadline) == std::cv_status::timeout) {
      break;
    }
  }
  if (block.result == kPending) {
    Unregister(block);
    return WAIT_TIMEOUT;
  }
  return block.result;
}

}  // namespace detail

using detail::WaitEngine;

uint32_t CurrentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(gettid());
  return id;
}

// --- Waitable ---

Waitable::~Waitable() {
  FailWaiters();
}

std::mutex& Waitable::WaitLock() {
  return WaitEngine::Lock();
}

void Waitable::HandOff() {
  WaitEngine::HandOff(*this);
}

void Waitable::FailWaiters() {
  std::lock_guard<std::mutex> hold(WaitLock());
  WaitEngine::FailWaiters(*this);
}

// --- Event ---

Event::Event(EventReset reset, bool initially_signalled) : reset_(reset), signalled_(initially_signalled) {}

Event::~Event() {
  FailWaiters();
}

bool Event::Set() {
  std::lock_guard<std::mutex> hold(WaitLock());
  signalled_ = true;
  HandOff();
  return true;
}

bool Event::Reset() {
  std::lock_guard<std::mutex> hold(WaitLock());
  signalled_ = false;
  return true;
}

bool Event::Pulse() {
  std::lock_guard<std::mutex> hold(WaitLock());
  signalled_ = true;
  HandOff();
  signalled_ = false;
  return true;
}

bool Event::IsSignalled() const {
  std::lock_guard<std::mutex> hold(WaitLock());
  return signalled_;
}

bool Event::IsSignalledFor(uint32_t) const {
  return signalled_;
}

void Event::Acquire(uint32_t) {
  if (reset_ == EventReset::Auto) signalled_ = false;
}

// --- Semaphore ---

std::unique_ptr<Semaphore> Semaphore::Create(long initial_count, long maximum_count) {
  if (maximum_count <= 0 || initial_count < 0 || initial_count > maximum_count) return nullptr;
  return std::unique_ptr<Semaphore>(new Semaphore(initial_count, maximum_count));
}

Semaphore::Semaphore(long initial_count, long maximum_count) : maximum_(maximum_count), count_(initial_count) {}

Semaphore::~Semaphore() {
  FailWaiters();
}

bool Semaphore::Release(long count, long* previous_count) {
  std::lock_guard<std::mutex> hold(WaitLock());
  if (count <= 0 || count > maximum_ - count_) return false;
  if (previous_count != nullptr) *previous_count = count_;
  count_ += count;
  HandOff();
  return true;
}

long Semaphore::CurrentCount() const {
  std::lock_guard<std::mutex> hold(WaitLock());
  return count_;
}

bool Semaphore::IsSignalledFor(uint32_t) const {
  return count_ > 0;
}

void Semaphore::Acquire(uint32_t) {
  --count_;
}

// --- Mutex ---

Mutex::Mutex(bool initially_owned) {
  uint32_t owner = 0;
  if (initially_owned) {
    owner = CurrentThreadId();
    detail::WatchThreadExit(owner);
  }
  std::lock_guard<std::mutex> hold(WaitLock());
  if (initially_owned) {
    owner_ = owner;
    recursion_ = 1;
  }
  WaitEngine::Mutexes().insert(this);
}

Mutex::~Mutex() {
  FailWaiters();
  std::lock_guard<std::mutex> hold(WaitLock());
  WaitEngine::Mutexes().erase(this);
}

bool Mutex::Release() {
  const uint32_t thread_id = CurrentThreadId();
  std::lock_guard<std::mutex> hold(WaitLock());
  if (owner_ != thread_id || recursion_ == 0) return false;
  if (--recursion_ == 0) {
    owner_ = 0;
    HandOff();
  }
  return true;
}

uint32_t Mutex::OwnerThreadId() const {
  std::lock_guard<std::mutex> hold(WaitLock());
  return owner_;
}

bool Mutex::IsSignalledFor(uint32_t thread_id) const {
  return owner_ == 0 || owner_ == thread_id;
}

void Mutex::Acquire(uint32_t thread_id) {
  owner_ = thread_id;
  ++recursion_;
}

bool Mutex::TakeAbandoned() {
  const bool abandoned = abandoned_;
  abandoned_ = false;
  return abandoned;
}

// --- Waits ---

uint32_t WaitForOne(Waitable* object, uint32_t timeout_ms) {
  Waitable* const objects[1] = {object};
  return WaitEngine::Wait(objects, false, timeout_ms);
}

uint32_t WaitForAny(std::span<Waitable* const> objects, uint32_t timeout_ms) {
  return WaitEngine::Wait(objects, false, timeout_ms);
}

uint32_t WaitForAny(std::initializer_list<Waitable*> objects, uint32_t timeout_ms) {
  return WaitEngine::Wait(std::span<Waitable* const>(objects.begin(), objects.size()), false, timeout_ms);
}

uint32_t WaitForAll(std::span<Waitable* const> objects, uint32_t timeout_ms) {
  return WaitEngine::Wait(objects, true, timeout_ms);
}

uint32_t WaitForAll(std::initializer_list<Waitable*> objects, uint32_t timeout_ms) {
  return WaitEngine::Wait(std::span<Waitable* const>(objects.begin(), objects.size()), true, timeout_ms);
}

uint32_t WaitForMultiple(std::span<Waitable* const> objects, bool wait_all, uint32_t timeout_ms) {
  return WaitEngine::Wait(objects, wait_all, timeout_ms);
}

}  // namespace platform
