// Korvel, the live client: the application object does all the work.

#include <QApplication>

#include "common/CommandHelp.h"
#include "common/qt/QtPlatformServices.h"
#include "live_client/core/CKorvelApp.h"
#include "common/qt/SystemText.h"

namespace {

constexpr const char* kHelp =
    "Korvel, the live client of the CCTV suite: live video from network video recorders and\n"
    "capture-card recorders, up to 25 cameras on each of five display pages, PTZ control,\n"
    "sound, recording by hand or by a weekly timetable, snapshots, and playback through Lumaro.\n"
    "\n"
    "SIGINT, SIGTERM and SIGHUP make the program leave as its Exit button does: running\n"
    "recordings are finished and indexed, the settings saved. The toolkit's own options\n"
    "(-platform NAME, -display DISPLAY) are accepted as well.\n"
    "\n"
    "Options:\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Files:\n"
    "  ~/.config/korvel/Korvel.cfg         cameras, logins and settings (owner-only)\n"
    "  ~/.config/korvel/Drives.ini         the drive table: a host folder for each drive letter\n"
    "  ~/.local/share/korvel/C, D          the default drives for recordings and snapshots\n"
    "  ~/.local/share/korvel/Korvel.log    the trace log\n"
    "  XDG_CONFIG_HOME and XDG_DATA_HOME take the place of ~/.config and ~/.local/share.\n"
    "  A program started from a folder its user may write keeps these files beside itself.\n"
    "\n"
    "Environment:\n"
    "  KORVEL_DRIVES     a drive table taking precedence over Drives.ini: \"C=/srv/c;D=/mnt/rec\"\n"
    "  KORVEL_AUDIO      sound output: default, null or wav:PATH\n"
    "  KORVEL_DISPLAY    the screen mode to assume, WxH[xBPP][@HZ]\n"
    "  HALVANE_XVIDCORE  the XviD library to load instead of libxvidcore.so.4\n";

}  // namespace

int main(int argc, char** argv) {
  if (suite::AnswerHelpOrVersion(argc, argv, "[--help | --version]", kHelp)) return 0;
  QApplication application(argc, argv);
  InstallQtMessageBoxHandler(QStringLiteral("Korvel"), FromSystemText);
  InstallQtDisplayProvider();
  CKorvelApp app;
  app.InitInstance();
  return app.ExitInstance();
}
