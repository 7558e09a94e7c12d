#pragma once

// A thread that takes messages from the receiving thread through a bounded queue and handles
// them one at a time, so a slow callback holds up only its own channel.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

struct DataItem {
  uint16_t type = 0;
  uint64_t generation = 0;  // the owner's generation when the item was queued
  std::vector<uint8_t> payload;
};

class DataWorker {
 public:
  using Handler = std::function<void(DataItem&)>;
  // `limit` items at most wait; `droppable` says which items may be dropped when full (the
  // others wait for room, so the receiving thread slows to the consumer's pace).
  DataWorker(size_t limit, Handler handler, std::function<bool(const DataItem&)> droppable);
  ~DataWorker();

  // False when the item was dropped.
  bool Push(DataItem item);
  // Drops every queued item.
  void Clear();
  // Waits, at most `wait`, until every queued item has been handled; false when time ran out.
  bool Drain(std::chrono::milliseconds wait);
  void Stop();
  bool on_worker_thread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Run();

  const size_t limit_;
  Handler handler_;
  std::function<bool(const DataItem&)> droppable_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<DataItem> queue_;  // guarded by lock_
  bool stopping_ = false;       // guarded by lock_
  bool handling_ = false;       // guarded by lock_: an item is out of the queue, not yet done
  std::thread thread_;
};

}  // namespace orvane
