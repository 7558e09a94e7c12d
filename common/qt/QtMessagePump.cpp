#include "common/qt/QtMessagePump.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// One event type for the whole program, registered on first use.
QEvent::Type PumpEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

class QtMessagePump::Receiver : public QObject {
 public:
  explicit Receiver(platform::Window& window) : window_(window) {}

  // Any thread, under the pump's lock. At most one pump event is outstanding. Its address is published before it is posted, so
  // the UI thread recognises it by address without reading an event another thread built
  // (Qt's posting lock orders the two as well, but a race checker cannot see into Qt).
  void Post() {
    if (scheduled_.exchange(true)) return;
    auto* pump = new QEvent(PumpEventType());
    outstanding_.store(pump, std::memory_order_release);
    QCoreApplication::postEvent(this, pump);
  }

 protected:
  bool event(QEvent* event) override {
    QEvent* pump = outstanding_.load(std::memory_order_acquire);
    if (pump == nullptr || event != pump) return QObject::event(event);
    // Forgotten before Qt frees it, so a later event at the same address is not taken for it.
    outstanding_.store(nullptr, std::memory_order_relaxed);
    // Cleared before pumping, so a message queued while the handlers run posts a new event.
    scheduled_ = false;
    window_.PumpMessages();
    return true;
  }

 private:
  platform::Window& window_;
  std::atomic<bool> scheduled_{false};
  std::atomic<QEvent*> outstanding_{nullptr};
};

QtMessagePump::QtMessagePump(platform::Window& window) : receiver_(new Receiver(window)) {}

QtMessagePump::~QtMessagePump() { Detach(); }

void QtMessagePump::Schedule() {
  std::lock_guard<std::mutex> guard(lock_);
  if (receiver_) receiver_->Post();
}

void QtMessagePump::Detach() {
  Receiver* receiver = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    receiver = receiver_;
    receiver_ = nullptr;
  }
  // Deleting a QObject also removes the events still posted to it.
  delete receiver;
}
