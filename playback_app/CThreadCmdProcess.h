#pragma once

// The dialog's task queue and the thread that works it off. A task is a heap integer appended
// under the queue's lock, followed by one release of the "TaskData" semaphore, so the
// semaphore carries one count per queued task.

#include <deque>
#include <functional>
#include <memory>

#include "platform/Sync.h"
#include "platform/Thread.h"

namespace lumaro {

inline constexpr const char* kTaskSemaphoreName = "TaskData";
inline constexpr long kTaskSemaphoreMaximum = 10000;

class TaskQueue {
 public:
  TaskQueue();
  // Any thread. False when the semaphore is full (the task is then not queued).
  bool Push(int task);
  // Takes the oldest task; false when none is queued. Call after the semaphore was taken.
  bool Pop(int& task);
  platform::Semaphore* Semaphore() const { return semaphore_.get(); }

 private:
  platform::CriticalSection lock_;
  std::deque<std::unique_ptr<int>> tasks_;  // Guarded by lock_
  std::unique_ptr<platform::Semaphore> semaphore_;
};

// Runs each queued task through `handler` on its own thread. Tasks already queued when the
// thread is told to stop still run first, so a stop queued during teardown is not lost.
class CThreadCmdProcess : public platform::Thread {
 public:
  using Handler = std::function<void(int task)>;
  // `queue` outlives the thread. Created suspended; Resume() starts it.
  CThreadCmdProcess(TaskQueue& queue, Handler handler);
  ~CThreadCmdProcess() override;

 protected:
  std::uint32_t Run() override;

 private:
  TaskQueue& queue_;
  Handler handler_;  // Immutable after construction
};

}  // namespace lumaro
