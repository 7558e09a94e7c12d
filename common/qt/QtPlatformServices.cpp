#include "common/qt/QtPlatformServices.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <memory>
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

}  // namespace

void InstallQtMessageBoxHandler(const QString& defaultCaption, SystemTextToQt toQt) {
  platform::SetMessageBoxHandler([defaultCaption, toQt](const platform::MessageBoxRequest& request) {
    return ShowQtBox(request, defaultCaption, toQt);
  });
}

void InstallQtDisplayProvider() {
  platform::SetDisplayProvider(std::make_shared<QtDisplayProvider>());
}
