// Korvel, the live client: the application object does all the work.

#include <QApplication>

#include "live_client/core/CKorvelApp.h"
#include "live_client/core/QtPlatformServices.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  korvel::InstallQtMessageBoxHandler();
  korvel::InstallQtDisplayProvider();
  CKorvelApp app;
  app.InitInstance();
  return app.ExitInstance();
}
