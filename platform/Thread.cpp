#include "platform/Thread.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace platform {

namespace {

// Host nice value for a priority of the system's scale. Values between the named levels
// round towards normal, as the host has finer steps than the system.
int NiceForPriority(int priority) {
  if (priority <= THREAD_PRIORITY_IDLE) return 19;
  if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -20;
  if (priority <= THREAD_PRIORITY_LOWEST) return 10;
  if (priority == THREAD_PRIORITY_BELOW_NORMAL) return 5;
  if (priority == THREAD_PRIORITY_NORMAL) return 0;
  if (priority == THREAD_PRIORITY_ABOVE_NORMAL) return -5;
  return -10;
}

}  // namespace

struct Thread::Gate {
  std::mutex lock;
  std::condition_variable changed;
  uint32_t thread_id = 0;
  int suspend_count = 1;     // the body starts when this reaches 0
  bool started = false;      // the host thread passed the gate
  bool killed = false;       // KillThread() ran
  bool has_thread = true;    // false once the body ended or was killed
  bool object_gone = false;  // the Thread object was destroyed while its body still ran
  bool ended = false;        // the host thread is past every use of the Thread object
  std::atomic<uint32_t> end_code{0};
};

Thread::Thread()
    : stop_event_(std::make_unique<Event>(EventReset::Auto, false)), gate_(std::make_shared<Gate>()) {
  thread_ = std::thread(&Thread::ThreadProc, this, gate_);
  // The id is part of the object from construction on, as callers read it before Resume().
  std::unique_lock<std::mutex> hold(gate_->lock);
  gate_->changed.wait(hold, [this] { return gate_->thread_id != 0; });
  thread_id_.store(gate_->thread_id);
}

Thread::~Thread() {
  KillThread();
  std::lock_guard<std::mutex> hold(gate_->lock);
  gate_->object_gone = true;
}

void Thread::ThreadProc(Thread* self, std::shared_ptr<Gate> gate) {
  bool run_body = false;
  {
    std::unique_lock<std::mutex> hold(gate->lock);
    gate->thread_id = CurrentThreadId();
    gate->changed.notify_all();
    gate->changed.wait(hold, [&gate] { return gate->suspend_count == 0 || gate->killed; });
    // A thread stopped before it was ever resumed ends without its body: the derived
    // object may already be half destroyed, so Run() must not be called.
    run_body = !gate->killed;
    gate->started = true;
  }
  if (run_body && self->IsAlive()) self->Run();
  std::lock_guard<std::mutex> hold(gate->lock);
  // A body that stopped itself may have destroyed its object on the way out.
  if (run_body && !gate->object_gone) gate->end_code.store(self->ExitCode());
  gate->has_thread = false;
  gate->ended = true;
  gate->changed.notify_all();
}

bool Thread::KillThread() {
  std::lock_guard<std::mutex> serial(kill_lock_);
  stop_.store(1);
  if (!alive_.load() && !thread_.joinable()) {
    // A body that stopped itself was left to finish on its own. When its owner stops it
    // again from another thread (its destructor), the object must outlive the body's last
    // steps and its end code.
    std::unique_lock<std::mutex> hold(gate_->lock);
    if (gate_->thread_id != CurrentThreadId()) gate_->changed.wait(hold, [this] { return gate_->ended; });
    return true;
  }
  if (Event* event = stop_event_.get()) event->Set();
  {
    std::lock_guard<std::mutex> hold(gate_->lock);
    gate_->killed = true;
    gate_->suspend_count = 0;
  }
  gate_->changed.notify_all();
  bool joined = true;
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      // The body is stopping itself: it ends when it returns; waiting here would never end.
      thread_.detach();
      joined = false;
    } else {
      thread_.join();
    }
  }
  {
    std::lock_guard<std::mutex> hold(gate_->lock);
    gate_->has_thread = false;
  }
  alive_.store(false);
  // A body still running on itself keeps using the stop event; it goes with this object.
  if (joined) {
    stop_event_.reset();
    thread_id_.store(0);
  }
  return true;
}

bool Thread::IsAlive() const {
  return alive_.load();
}

int Thread::Resume() {
  // Once the count reaches 0 the body may run and even destroy this object before Resume()
  // returns, so nothing of the object is touched after that point.
  const std::shared_ptr<Gate> gate = gate_;
  bool wake = false;
  int previous = -1;
  {
    std::lock_guard<std::mutex> hold(gate->lock);
    if (!gate->has_thread || gate->killed) return -1;
    previous = gate->suspend_count;
    if (gate->suspend_count > 0 && --gate->suspend_count == 0) wake = true;
  }
  if (wake) gate->changed.notify_all();
  return previous;
}

int Thread::Suspend() {
  std::lock_guard<std::mutex> hold(gate_->lock);
  if (!gate_->has_thread || gate_->killed || gate_->started || gate_->suspend_count == 0) return -1;
  return gate_->suspend_count++;
}

bool Thread::SetPriority(int priority) {
  const uint32_t id = thread_id_.load();
  if (id == 0 || !HasThread()) return false;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(id), NiceForPriority(priority)) != 0) return false;
  priority_.store(priority);
  return true;
}

int Thread::GetPriority() const {
  return priority_.load();
}

bool Thread::HasThread() const {
  std::lock_guard<std::mutex> hold(gate_->lock);
  return gate_->has_thread;
}

uint32_t Thread::EndCode() const {
  return gate_->end_code.load();
}

// --- PeriodicTimer ---

PeriodicTimer::~PeriodicTimer() {
  Stop();
}

bool PeriodicTimer::Start(uint32_t period_ms, std::function<void()> callback) {
  if (period_ms == 0 || !callback || thread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = false;
  }
  thread_ = std::thread([this, period_ms, callback = std::move(callback)] {
    thread_id_.store(CurrentThreadId());
    const auto period = std::chrono::milliseconds(period_ms);
    auto next = std::chrono::steady_clock::now() + period;
    std::unique_lock<std::mutex> hold(lock_);
    while (!stopping_) {
      if (wake_.wait_until(hold, next, [this] { return stopping_; })) break;
      hold.unlock();
      callback();
      hold.lock();
      next += period;
      const auto now = std::chrono::steady_clock::now();
      // After a callback that overran, start a fresh period rather than firing the
      // missed ticks back to back.
      if (next < now) next = now + period;
    }
  });
  return true;
}

void PeriodicTimer::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
  thread_id_.store(0);
}

bool PeriodicTimer::IsRunning() const {
  return thread_.joinable();
}

}  // namespace platform
