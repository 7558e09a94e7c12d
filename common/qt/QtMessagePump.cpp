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

  // Any thread, under the pump's lock.
  void Post() {
    if (!scheduled_.exchange(true))
      QCoreApplication::postEvent(this, new QEvent(PumpEventType()));
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != PumpEventType()) return QObject::event(event);
    // Cleared before pumping, so a message queued while the handlers run posts a new event.
    scheduled_ = false;
    window_.PumpMessages();
    return true;
  }

 private:
  platform::Window& window_;
  std::atomic<bool> scheduled_{false};
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
