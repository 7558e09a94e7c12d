#include "device_sdk/Orvane/DataWorker.h"

namespace orvane {

DataWorker::DataWorker(size_t limit, Handler handler,
                       std::function<bool(const DataItem&)> droppable)
    : limit_(limit), handler_(std::move(handler)), droppable_(std::move(droppable)) {
  thread_ = std::thread([this] { Run(); });
}

DataWorker::~DataWorker() { Stop(); }

bool DataWorker::Push(DataItem item) {
  std::unique_lock<std::mutex> lock(lock_);
  if (stopping_) return false;
  if (queue_.size() >= limit_) {
    if (droppable_(item)) return false;
    changed_.wait(lock, [&] { return stopping_ || queue_.size() < limit_; });
    if (stopping_) return false;
  }
  queue_.push_back(std::move(item));
  lock.unlock();
  changed_.notify_all();
  return true;
}

void DataWorker::Clear() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
  }
  changed_.notify_all();
}

bool DataWorker::Drain(std::chrono::milliseconds wait) {
  if (on_worker_thread()) return false;  // its own queue cannot empty while it waits here
  std::unique_lock<std::mutex> lock(lock_);
  return changed_.wait_for(lock, wait, [&] { return stopping_ || (queue_.empty() && !handling_); });
}

void DataWorker::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    if (on_worker_thread())
      thread_.detach();  // stopped from one of its own callbacks: it ends by itself
    else
      thread_.join();
  }
}

void DataWorker::Run() {
  std::unique_lock<std::mutex> lock(lock_);
  while (true) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    DataItem item = std::move(queue_.front());
    queue_.pop_front();
    handling_ = true;
    lock.unlock();
    changed_.notify_all();
    handler_(item);
    lock.lock();
    handling_ = false;
    if (queue_.empty()) changed_.notify_all();  // only a Drain waits for this
  }
}

}  // namespace orvane
