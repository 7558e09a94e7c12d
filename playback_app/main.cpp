// Lumaro, the playback program: the application object does all the work.

#include <QApplication>
#include <string>

#include "common/qt/QtPlatformServices.h"
#include "playback_app/CLumaroApp.h"
#include "playback_app/SystemText.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  InstallQtMessageBoxHandler(QStringLiteral("Lumaro"), lumaro::FromSystemText);
  InstallQtDisplayProvider();
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += (i > 1 ? " " : "") + std::string(argv[i]);
  lumaro::CLumaroApp app;
  app.InitInstance(arguments);
  return app.ExitInstance();
}
