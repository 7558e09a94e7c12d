#pragma once

// The program's answers to the platform's replaceable services (message boxes shown with Qt,
// display modes of the screen), and the pump that delivers a Qt window's posted messages on
// the user-interface thread.

#include <QObject>
#include <atomic>
#include <mutex>

#include "platform/Window.h"

namespace lumaro {

void InstallQtMessageBoxHandler();
void InstallQtDisplayProvider();

// Delivers the messages posted to a platform::Window that is also a Qt widget: Schedule()
// (any thread) posts one Qt event; on the UI thread that event pumps every queued message.
class QtMessagePump {
 public:
  explicit QtMessagePump(platform::Window& window);
  ~QtMessagePump();
  QtMessagePump(const QtMessagePump&) = delete;
  QtMessagePump& operator=(const QtMessagePump&) = delete;

  void Schedule();
  // UI thread: no more pumping; an event already posted is dropped.
  void Detach();

 private:
  class Receiver;
  std::mutex lock_;
  Receiver* receiver_ = nullptr;  // Guarded by lock_
};

}  // namespace lumaro
