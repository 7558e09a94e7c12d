// Korvel, the live client: the application object does all the work.

#include <QApplication>

#include "common/qt/QtPlatformServices.h"
#include "live_client/core/CKorvelApp.h"
#include "common/qt/SystemText.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  InstallQtMessageBoxHandler(QStringLiteral("Korvel"), FromSystemText);
  InstallQtDisplayProvider();
  CKorvelApp app;
  app.InitInstance();
  return app.ExitInstance();
}
