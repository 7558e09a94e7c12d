// The programs' Qt side of the platform services: messages posted to a Qt window from other
// threads reach its handler on the user-interface thread in order, and none after the pump is
// detached; message boxes carry the program's caption, the converted texts, the asked-for
// buttons and default, and answer with the button pressed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/qt/QtMessagePump.h"
#include "common/qt/QtPlatformServices.h"
#include "platform/MessageBox.h"
#include "platform/Window.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "QtServices_test";
  static char* argv[] = {name, nullptr};
  // Left to the process's end: Qt's own statics are gone before a static application would go.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A window whose queued messages the pump delivers, as the programs' Qt windows do.
class PumpedWindow : public platform::Window {
 public:
  PumpedWindow() : pump_(*this) {}
  ~PumpedWindow() override {
    pump_.Detach();
    CloseWindow();
  }
  void Present(const platform::Picture&) override {}
  platform::Rect ClientRect() const override { return {0, 0, 16, 16}; }
  QtMessagePump& Pump() { return pump_; }

 protected:
  void OnMessageQueued() override { pump_.Schedule(); }

 private:
  QtMessagePump pump_;
};

TEST(QtMessagePumpTest, WorkerMessagesArriveOnTheUiThreadInOrderUntilDetached) {
  App();
  PumpedWindow window;
  std::vector<unsigned> seen;
  bool offThread = false;
  const std::thread::id ui = std::this_thread::get_id();
  window.SetMessageHandler([&](const platform::Message& message) -> platform::LRESULT {
    offThread = offThread || std::this_thread::get_id() != ui;
    seen.push_back(static_cast<unsigned>(message.wParam));
    return 0;
  });

  constexpr unsigned kCount = 500;
  std::thread worker([&] {
    for (unsigned i = 0; i < kCount; ++i)
      window.Post({platform::WM_USER + 1, static_cast<platform::WPARAM>(i), 0});
  });
  worker.join();
  EXPECT_TRUE(seen.empty()) << "handlers run only from the UI thread's event loop";
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() == kCount; }, 5000)) << seen.size();
  EXPECT_FALSE(offThread);
  for (unsigned i = 0; i < kCount; ++i) ASSERT_EQ(seen[i], i);

  // A send from a worker is answered by the UI thread through the same pump.
  window.SetMessageHandler([&](const platform::Message& message) -> platform::LRESULT {
    return std::this_thread::get_id() == ui ? static_cast<platform::LRESULT>(message.wParam) * 2 : -1;
  });
  std::atomic<platform::LRESULT> answer{0};  // polled here while the sender sets it
  std::thread sender([&] { answer = window.Send({platform::WM_USER + 2, 21, 0}); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answer.load() != 0; }, 5000));
  sender.join();
  EXPECT_EQ(answer.load(), 42);

  // Detached: a message posted afterwards stays queued, none is handled.
  int handled = 0;
  window.SetMessageHandler([&](const platform::Message&) -> platform::LRESULT {
    ++handled;
    return 0;
  });
  window.Post({platform::WM_USER + 3, 0, 0});
  window.Pump().Detach();
  window.Post({platform::WM_USER + 3, 0, 0});
  QTest::qWait(50);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(window.QueuedMessageCount(), 2u);
}

QString Bracketed(std::string_view text) {
  return QStringLiteral("[") + QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())) +
         QStringLiteral("]");
}

// Presses `button` on the message box once it is open, after noting how it looks.
struct BoxSeen {
  QString title;
  QString text;
  QList<QMessageBox::StandardButton> buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  bool builtOnUiThread = false;
  bool pressed = false;
};
void PressWhenShown(QMessageBox::StandardButton button, BoxSeen& seen) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, button, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer->stop();
    timer->deleteLater();
    seen.title = box->windowTitle();
    seen.text = box->text();
    for (QAbstractButton* shown : box->buttons()) seen.buttons << box->standardButton(shown);
    if (QPushButton* preset = box->defaultButton()) seen.defaultButton = box->standardButton(preset);
    seen.builtOnUiThread = box->thread() == QApplication::instance()->thread() &&
                           QThread::currentThread() == box->thread();
    seen.pressed = true;
    QTest::mouseClick(box->button(button), Qt::LeftButton);
  });
  timer->start();
}

TEST(QtMessageBoxTest, CaptionTextsButtonsAndAnswers) {
  App();
  platform::ResetMessageBoxes();
  const platform::MessageBoxHandler scripted = platform::SetMessageBoxHandler({});
  InstallQtMessageBoxHandler(QStringLiteral("Probe"), Bracketed);

  BoxSeen seen;
  PressWhenShown(QMessageBox::No, seen);
  EXPECT_EQ(platform::MessageBox(nullptr, "Stop now?", "",
                                 platform::MB_YESNOCANCEL | platform::MB_DEFBUTTON2 |
                                     platform::MB_ICONQUESTION),
            platform::IDNO);
  EXPECT_EQ(seen.title, QStringLiteral("Probe"));
  EXPECT_EQ(seen.text, QStringLiteral("[Stop now?]"));
  EXPECT_EQ(seen.buttons.size(), 3);
  EXPECT_TRUE(seen.buttons.contains(QMessageBox::Cancel));
  EXPECT_EQ(seen.defaultButton, QMessageBox::No);

  seen = {};
  PressWhenShown(QMessageBox::Retry, seen);
  EXPECT_EQ(platform::MessageBox(nullptr, "Disk busy", "Drives", platform::MB_RETRYCANCEL),
            platform::IDRETRY);
  EXPECT_EQ(seen.title, QStringLiteral("[Drives]"));
  EXPECT_EQ(seen.defaultButton, QMessageBox::Retry);

  seen = {};
  PressWhenShown(QMessageBox::Ok, seen);
  EXPECT_EQ(platform::MessageBox(nullptr, "Saved", "", platform::MB_OK), platform::IDOK);
  EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});

  platform::SetMessageBoxHandler(scripted);
}

// A worker's question is shown by the UI thread, whose loop goes on, and the worker waits for
// the button pressed; a worker's notice does not hold it; once the program closes, a waiting
// question and every later one get their default answer at once.
TEST(QtMessageBoxTest, WorkersAskThroughTheUiThread) {
  App();
  platform::ResetMessageBoxes();
  const platform::MessageBoxHandler scripted = platform::SetMessageBoxHandler({});
  InstallQtMessageBoxHandler(QStringLiteral("Probe"), Bracketed);
  const unsigned question = platform::MB_YESNO | platform::MB_DEFBUTTON2 | platform::MB_ICONQUESTION;

  BoxSeen seen;
  PressWhenShown(QMessageBox::Yes, seen);
  std::atomic<int> answer{0};
  std::thread asker([&] { answer = platform::MessageBox(nullptr, "Disconnect?", "", question); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return answer.load() != 0; }, 5000));
  asker.join();
  EXPECT_EQ(answer.load(), platform::IDYES) << "the pressed button, not the default";
  EXPECT_TRUE(seen.builtOnUiThread);
  EXPECT_EQ(seen.text, QStringLiteral("[Disconnect?]"));

  seen = {};
  PressWhenShown(QMessageBox::Ok, seen);
  std::thread notifier([&] { answer = platform::MessageBox(nullptr, "Lost", "", platform::MB_OK); });
  notifier.join();  // returns without the UI thread's help
  EXPECT_EQ(answer.load(), platform::IDOK);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.pressed; }, 5000));
  EXPECT_TRUE(seen.builtOnUiThread);

  // Closing while a question is on screen: its worker gets the default at once; the box left
  // open is closed afterwards.
  answer = 0;
  bool closedWhileShown = false;
  auto* closer = new QTimer;
  closer->setInterval(10);
  QObject::connect(closer, &QTimer::timeout, [&, closer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (!platform::MessageBoxesClosed()) {
      closedWhileShown = answer.load() == 0;
      platform::CloseMessageBoxes();
      return;
    }
    if (answer.load() == 0) return;
    closer->stop();
    closer->deleteLater();
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
  });
  closer->start();
  std::thread waiting([&] { answer = platform::MessageBox(nullptr, "Stop?", "", question); });
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return answer.load() != 0 && QApplication::activeModalWidget() == nullptr; }, 5000));
  waiting.join();
  EXPECT_TRUE(closedWhileShown);
  EXPECT_EQ(answer.load(), platform::IDNO);
  EXPECT_EQ(platform::MessageBox(nullptr, "Again?", "", question), platform::IDNO);

  platform::ResetMessageBoxes();
  platform::SetMessageBoxHandler(scripted);
}

}  // namespace
