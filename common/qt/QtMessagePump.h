#pragma once

// Delivers the posted messages of a platform::Window that is also a Qt widget on the Qt event
// loop of the user-interface thread.
//
// A worker posts through platform::PostMessage; the window's queue then calls Schedule(),
// which posts one custom QEvent to a receiver living on the UI thread; that event pumps every
// queued message through the window's handler. So handlers always run on the UI thread, in
// the order the messages were posted.

#include <QObject>
#include <atomic>
#include <mutex>

#include "platform/Window.h"

class QtMessagePump {
 public:
  // Create on the UI thread, as a member of the window it serves.
  explicit QtMessagePump(platform::Window& window);
  // Call Detach() from the window's destructor before CloseWindow(); the destructor does it
  // too, for safety.
  ~QtMessagePump();
  QtMessagePump(const QtMessagePump&) = delete;
  QtMessagePump& operator=(const QtMessagePump&) = delete;

  // Any thread: arranges for the queued messages to be pumped on the UI thread. Several calls
  // before the pump runs post one event.
  void Schedule();
  // UI thread: no event is posted afterwards; one already posted is dropped.
  void Detach();

 private:
  class Receiver;
  std::mutex lock_;
  Receiver* receiver_ = nullptr;  // Guarded by lock_; owned, deleted on the UI thread
};
