#include "playback_app/CThreadCmdProcess.h"

#include <mutex>

#include "common/TraceMessage.h"

namespace lumaro {

TaskQueue::TaskQueue() : semaphore_(platform::Semaphore::Create(0, kTaskSemaphoreMaximum)) {}

bool TaskQueue::Push(int task) {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  tasks_.push_back(std::make_unique<int>(task));
  if (!semaphore_->Release(1)) {
    tasks_.pop_back();
    TraceMessage("[LUMARO] - TaskQueue full, task %d dropped.", task);
    return false;
  }
  return true;
}

bool TaskQueue::Pop(int& task) {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  if (tasks_.empty()) return false;
  task = *tasks_.front();
  tasks_.pop_front();
  return true;
}

CThreadCmdProcess::CThreadCmdProcess(TaskQueue& queue, Handler handler)
    : queue_(queue), handler_(std::move(handler)) {}

CThreadCmdProcess::~CThreadCmdProcess() { KillThread(); }

std::uint32_t CThreadCmdProcess::Run() {
  for (;;) {
    // The semaphore comes first: with both signalled the lower index wins, so queued tasks
    // are worked off before the stop request ends the loop.
    const std::uint32_t result = platform::WaitForAny({queue_.Semaphore(), StopEvent()}, platform::INFINITE);
    if (result != platform::WAIT_OBJECT_0) break;
    int task = 0;
    if (queue_.Pop(task) && handler_) handler_(task);
  }
  return 0;
}

}  // namespace lumaro
