#include "playback_app/QtServices.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <memory>
#include <vector>

#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "playback_app/SystemText.h"

namespace lumaro {

namespace {

class QtDisplayProvider : public platform::DisplayProvider {
 public:
  platform::DisplayMode CurrentMode() override {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {32, 1024, 768, 60};
    return {screen->depth(), screen->size().width(), screen->size().height(),
            static_cast<int>(screen->refreshRate() + 0.5)};
  }
  // The screen's own mode and the suited modes that fit on it, which the program can size its
  // window to.
  std::vector<platform::DisplayMode> Modes() override {
    const platform::DisplayMode current = CurrentMode();
    std::vector<platform::DisplayMode> modes{current};
    for (auto [width, height] : {std::pair{1024, 768}, std::pair{1440, 900}})
      if (width <= current.width && height <= current.height &&
          !(width == current.width && height == current.height))
        modes.push_back({current.bits_per_pixel, width, height, current.frequency_hz});
    return modes;
  }
};

int ShowQtBox(const platform::MessageBoxRequest& request) {
  QMessageBox box;
  box.setText(FromSystemText(request.text));
  box.setWindowTitle(request.caption.empty() ? QStringLiteral("Lumaro") : FromSystemText(request.caption));
  switch (request.type & platform::MB_ICONMASK) {
    case platform::MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case platform::MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case platform::MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case platform::MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Choice {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Choice> choices;
  switch (request.type & platform::MB_TYPEMASK) {
    case platform::MB_OKCANCEL: choices = {{QMessageBox::Ok, platform::IDOK}, {QMessageBox::Cancel, platform::IDCANCEL}}; break;
    case platform::MB_YESNOCANCEL:
      choices = {{QMessageBox::Yes, platform::IDYES}, {QMessageBox::No, platform::IDNO}, {QMessageBox::Cancel, platform::IDCANCEL}};
      break;
    case platform::MB_YESNO: choices = {{QMessageBox::Yes, platform::IDYES}, {QMessageBox::No, platform::IDNO}}; break;
    case platform::MB_RETRYCANCEL: choices = {{QMessageBox::Retry, platform::IDRETRY}, {QMessageBox::Cancel, platform::IDCANCEL}}; break;
    case platform::MB_ABORTRETRYIGNORE:
      choices = {{QMessageBox::Abort, platform::IDABORT}, {QMessageBox::Retry, platform::IDRETRY}, {QMessageBox::Ignore, platform::IDIGNORE}};
      break;
    default: choices = {{QMessageBox::Ok, platform::IDOK}}; break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& choice : choices) buttons |= choice.button;
  box.setStandardButtons(buttons);
  const std::size_t defaultIndex = (request.type & platform::MB_DEFMASK) >> 8;
  if (defaultIndex < choices.size()) box.setDefaultButton(choices[defaultIndex].button);
  const int pressed = box.exec();
  for (const Choice& choice : choices)
    if (pressed == choice.button) return choice.answer;
  for (int fallback : {platform::IDCANCEL, platform::IDNO})
    for (const Choice& choice : choices)
      if (choice.answer == fallback) return fallback;
  return choices.front().answer;
}

QEvent::Type PumpEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

void InstallQtMessageBoxHandler() { platform::SetMessageBoxHandler(ShowQtBox); }

void InstallQtDisplayProvider() { platform::SetDisplayProvider(std::make_shared<QtDisplayProvider>()); }

class QtMessagePump::Receiver : public QObject {
 public:
  explicit Receiver(platform::Window& window) : window_(window) {}
  void Post() {
    if (!scheduled_.exchange(true)) QCoreApplication::postEvent(this, new QEvent(PumpEventType()));
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != PumpEventType()) return QObject::event(event);
    // Cleared before pumping, so a message queued by a handler posts a new event.
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
  delete receiver;
}

}  // namespace lumaro
