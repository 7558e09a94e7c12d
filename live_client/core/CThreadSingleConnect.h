#pragma once

// The connect worker of one video window. The user-interface thread hands it commands by
// signalling one of four auto-reset events; the worker clears the window's idle event while it
// carries out a command and sets it again afterwards, so the exit can wait until every worker
// is idle. Commands for one window are thereby serialised.

#include <atomic>
#include <functional>

#include "platform/Sync.h"
#include "platform/Thread.h"

enum class ConnectCommand { None = 0, Connect, Disconnect, StartRecord, StopRecord };

// Carries out one command for a window on the worker's thread.
using ConnectCommandHandler = std::function<void(int window, ConnectCommand command)>;

// The live client's thread base: created suspended, a stop event, KillThread.
using CThread = platform::Thread;

class CThreadSingleConnect : public CThread {
 public:
  // The events belong to the dialog and outlive the worker. `handler` may be empty: commands
  // then only pass through the idle protocol (no connection code is attached yet).
  CThreadSingleConnect(int window, platform::Event* connect, platform::Event* disconnect,
                       platform::Event* startRecord, platform::Event* stopRecord,
                       platform::Event* idle, ConnectCommandHandler handler);
  ~CThreadSingleConnect() override;

  // Stops the worker and waits for it to end.
  bool KillThread() override;

  int Window() const { return window_; }
  // Commands carried out so far.
  int CommandCount() const { return commands_.load(); }

 protected:
  uint32_t Run() override;

 private:
  const int window_;
  platform::Event* const connect_;
  platform::Event* const disconnect_;
  platform::Event* const startRecord_;
  platform::Event* const stopRecord_;
  platform::Event* const idle_;
  const ConnectCommandHandler handler_;  // Immutable after construction
  std::atomic<int> commands_{0};
};
