#pragma once

// The worker-thread base of the suite and a periodic timer.
//
// A Thread is created suspended: the host thread exists from construction (so its id is
// known at once) but the body does not run until Resume() brings the suspend count to 0.
// That lets a derived class finish constructing before its Run() can be called. Stopping is
// cooperative: KillThread() raises the stop flag, signals the stop event and waits for the
// body to return.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Sync.h"

namespace platform {

// Priorities in the system's scale. They map onto host nice values; raising a priority
// above normal may be refused by the host, lowering always works.
inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

class Thread {
 public:
  // Creates the stop event (auto-reset, not signalled) and the host thread, suspended with
  // a suspend count of 1.
  Thread();
  // Stops the thread (KillThread) if that has not happened yet. A derived class whose Run()
  // uses the derived class's own members must call KillThread() in its own destructor:
  // by the time this destructor runs those members are gone.
  virtual ~Thread();

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Raises the stop flag, signals the stop event, releases a suspended thread and waits
  // without limit for the body to end, then closes the stop event. A thread that never ran
  // ends without calling Run(). Called from the thread itself it does not wait (that would
  // never end); the thread is left to finish on its own, and the body may then destroy
  // its own object and return. Idempotent; always returns true.
  // Any thread may call it; concurrent calls are serialised.
  virtual bool KillThread();

  // True while the stop event exists (from construction until KillThread()). The thread
  // procedure runs Run() only when this is true.
  virtual bool IsAlive() const;

  // Lowers the suspend count by one; the body starts when it reaches 0. Returns the count
  // before the call, or -1 when there is no thread (after KillThread, or once the body has
  // ended). A count of 0 stays 0.
  int Resume();
  // Raises the suspend count of a thread that has not started yet and returns the count
  // before the call. A thread that is already running cannot be stopped mid-way on this
  // platform: returns -1 and changes nothing.
  int Suspend();

  // Host-scheduler priority in the system's scale (THREAD_PRIORITY_*). False when the host
  // refuses it or there is no thread; the previous priority then stays.
  bool SetPriority(int priority);
  int GetPriority() const;

  // Kernel id of the thread, known from construction; 0 after KillThread() has joined it.
  uint32_t ThreadId() const { return thread_id_.load(); }
  // True while the host thread exists and its body has not ended.
  bool HasThread() const;
  // The stop request, set by KillThread(). The body checks it between steps.
  bool IsStopRequested() const { return stop_.load() != 0; }
  // The stop event: signalled by KillThread() so a body blocked in a wait wakes up. Owned
  // by this object and closed by KillThread() once the body has ended (null afterwards), so
  // only the body and the owner use it.
  Event* StopEvent() const { return stop_event_.get(); }
  // The value the body's thread ended with (ExitCode()), once it has ended.
  uint32_t EndCode() const;

 protected:
  // The thread body; runs once on the thread. Its return value is ignored; the thread ends
  // with ExitCode().
  virtual uint32_t Run() = 0;
  // The thread's end value, asked after Run() returns.
  virtual uint32_t ExitCode() { return 0; }

 private:
  // State shared with the host thread, which keeps it alive even when this object is
  // destroyed by its own body.
  struct Gate;
  static void ThreadProc(Thread* self, std::shared_ptr<Gate> gate);

  std::unique_ptr<Event> stop_event_;  // Set at construction, reset by KillThread only
  std::atomic<int> stop_{0};
  std::atomic<uint32_t> thread_id_{0};
  std::atomic<bool> alive_{true};        // IsAlive(): cleared when the stop event is closed
  std::atomic<int> priority_{THREAD_PRIORITY_NORMAL};

  std::shared_ptr<Gate> gate_;

  std::mutex kill_lock_;    // Serialises KillThread(); taken before the gate's lock
  std::thread thread_;      // Joined or detached by KillThread() only
};

// A periodic timer, the shape of the system's multimedia timer: `callback` runs every
// `period_ms` on a timer thread of its own, measured on the steady clock. A slow callback
// delays the next tick (ticks never overlap or pile up). Stop() waits for a running
// callback to return; calling Stop() from inside the callback does not wait.
class PeriodicTimer {
 public:
  PeriodicTimer() = default;
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // False when already running or `period_ms` is 0.
  bool Start(uint32_t period_ms, std::function<void()> callback);
  void Stop();
  bool IsRunning() const;

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;   // Guarded by lock_
  std::thread thread_;      // Touched only by Start()/Stop() of the owner
  std::atomic<uint32_t> thread_id_{0};
};

}  // namespace platform
