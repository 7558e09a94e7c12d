#pragma once

// Collects the process's trace lines by standing in for the trace viewer window, in a runtime
// folder of the test's own so parallel tests never share a viewer.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TitledWindow.h"

namespace korvel_test {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  bool Registered() const { return registered_; }
  // Waits until `count` lines containing `text` were traced; true when they were.
  bool WaitFor(const std::string& text, int count = 1,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  int Count(const std::string& text);
  // Lines containing `text`, in order.
  std::vector<std::string> Lines(const std::string& text);
  void Clear();

 private:
  std::string folder_;
  std::string previousRuntime_;
  bool hadRuntime_ = false;
  platform::TitledWindowServer server_;
  bool registered_ = false;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;  // Guarded by lock_
};

}  // namespace korvel_test
