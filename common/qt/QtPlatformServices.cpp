#include "common/qt/QtPlatformServices.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Display.h"
#include "platform/MessageBox.h"

namespace {

class QtDisplayProvider : public platform::DisplayProvider {
 public:
  platform::DisplayMode CurrentMode() override {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {32, 1024, 768, 60};
    return {screen->depth(), screen->size().width(), screen->size().height(),
            static_cast<int>(screen->refreshRate() + 0.5)};
  }
  std::vector<platform::DisplayMode> Modes() override {
    const platform::DisplayMode current = CurrentMode();
    std::vector<platform::DisplayMode> modes{current};
    for (auto [width, height] : {std::pair{1024, 768}, std::pair{1440, 900}}) {
      if (width <= current.width && height <= current.height &&
          !(width == current.width && height == current.height))
        modes.push_back({current.bits_per_pixel, width, height, current.frequency_hz});
    }
    return modes;
  }
};

int ShowQtBox(const platform::MessageBoxRequest& request, const QString& defaultCaption,
              SystemTextToQt toQt) {
  QMessageBox box;
  box.setText(toQt(request.text));
  box.setWindowTitle(request.caption.empty() ? defaultCaption : toQt(request.caption));
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
    case platform::MB_OKCANCEL:
      choices = {{QMessageBox::Ok, platform::IDOK}, {QMessageBox::Cancel, platform::IDCANCEL}};
      break;
    case platform::MB_ABORTRETRYIGNORE:
      choices = {{QMessageBox::Abort, platform::IDABORT}, {QMessageBox::Retry, platform::IDRETRY},
                 {QMessageBox::Ignore, platform::IDIGNORE}};
      break;
    case platform::MB_YESNOCANCEL:
      choices = {{QMessageBox::Yes, platform::IDYES}, {QMessageBox::No, platform::IDNO},
                 {QMessageBox::Cancel, platform::IDCANCEL}};
      break;
    case platform::MB_YESNO:
      choices = {{QMessageBox::Yes, platform::IDYES}, {QMessageBox::No, platform::IDNO}};
      break;
    case platform::MB_RETRYCANCEL:
      choices = {{QMessageBox::Retry, platform::IDRETRY}, {QMessageBox::Cancel, platform::IDCANCEL}};
      break;
    default:
      choices = {{QMessageBox::Ok, platform::IDOK}};
      break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& choice : choices) buttons |= choice.button;
  box.setStandardButtons(buttons);
  const std::size_t defaultIndex = (request.type & platform::MB_DEFMASK) >> 8;
  if (defaultIndex < choices.size()) box.setDefaultButton(choices[defaultIndex].button);
  const int pressed = box.exec();
  for (const Choice& choice : choices)
    if (pressed == choice.button) return choice.answer;
  // Closed without a button: Cancel where there is one, else No, else the single OK.
  for (int fallback : {platform::IDCANCEL, platform::IDNO})
    for (const Choice& choice : choices)
      if (choice.answer == fallback) return fallback;
  return choices.front().answer;
}

// The answer to a box shown for another thread, handed over from the UI thread.
struct PendingAnswer {
  std::mutex lock;
  std::condition_variable ready;
  bool done = false;
  int answer = 0;
};

// Widgets may only be built on the UI thread. A box asked for by a worker is shown there; a
// question holds its worker until answered (or until the program closes, which answers it
// with its default), while a notice, whose answer is known, lets the worker go on at once:
// workers ask from within the locks of their window, which the UI thread may need meanwhile.
int AskOnUiThread(const platform::MessageBoxRequest& request, const QString& defaultCaption,
                  SystemTextToQt toQt) {
  const int fallback = platform::DefaultMessageBoxAnswer(request.type);
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || platform::MessageBoxesClosed()) return fallback;
  if (QThread::currentThread() == app->thread()) return ShowQtBox(request, defaultCaption, toQt);

  if ((request.type & platform::MB_TYPEMASK) == platform::MB_OK) {
    QMetaObject::invokeMethod(app, [request, defaultCaption, toQt] {
      if (!platform::MessageBoxesClosed()) ShowQtBox(request, defaultCaption, toQt);
    }, Qt::QueuedConnection);
    return platform::IDOK;
  }
  auto pending = std::make_shared<PendingAnswer>();
  QMetaObject::invokeMethod(app, [pending, request, defaultCaption, toQt, fallback] {
    const int answer = platform::MessageBoxesClosed() ? fallback : ShowQtBox(request, defaultCaption, toQt);
    std::lock_guard<std::mutex> guard(pending->lock);
    pending->done = true;
    pending->answer = answer;
    pending->ready.notify_all();
  }, Qt::QueuedConnection);
  std::unique_lock<std::mutex> guard(pending->lock);
  while (!pending->done) {
    if (platform::MessageBoxesClosed()) return fallback;
    pending->ready.wait_for(guard, std::chrono::milliseconds(50));
  }
  return pending->answer;
}

}  // namespace

void InstallQtMessageBoxHandler(const QString& defaultCaption, SystemTextToQt toQt) {
  platform::SetMessageBoxHandler([defaultCaption, toQt](const platform::MessageBoxRequest& request) {
    return AskOnUiThread(request, defaultCaption, toQt);
  });
  // A worker still waiting for an answer when the event loop ends gets the default.
  if (QCoreApplication* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, [] { platform::CloseMessageBoxes(); });
}

void InstallQtDisplayProvider() {
  platform::SetDisplayProvider(std::make_shared<QtDisplayProvider>());
}
