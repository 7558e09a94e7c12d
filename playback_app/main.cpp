// Lumaro, the playback program: the application object does all the work.

#include <QApplication>
#include <string>

#include "common/CommandHelp.h"
#include "common/qt/QtPlatformServices.h"
#include "playback_app/CLumaroApp.h"
#include "playback_app/SystemText.h"

namespace {

constexpr const char* kHelp =
    "Lumaro, the playback program of the CCTV suite: finds recordings by day, channel and\n"
    "type in the recording indexes of the local drives or on a recorder, plays up to 16 at\n"
    "once, downloads recordings from capture-card recorders and saves them as MP4.\n"
    "Lumaro must see the same drive table as Korvel to find Korvel's recordings.\n"
    "\n"
    "Options:\n"
    "  -pri=FOLDER  the snapshot folder, a drive path ending in a backslash (D:\\Picture\\)\n"
    "  -s=NUMBER    0 starts in client mode, as Korvel's Playback button does\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Files:\n"
    "  ~/.config/korvel/Lumaro.ini         playback settings and the address history\n"
    "  ~/.config/korvel/Drives.ini         the drive table, shared with Korvel\n"
    "  ~/.local/share/korvel/Lumaro.log    the trace log\n"
    "  XDG_CONFIG_HOME and XDG_DATA_HOME take the place of ~/.config and ~/.local/share.\n"
    "  A program started from a folder its user may write keeps these files beside itself.\n"
    "\n"
    "Environment:\n"
    "  KORVEL_DRIVES     a drive table taking precedence over Drives.ini: \"C=/srv/c;D=/mnt/rec\"\n"
    "  KORVEL_AUDIO      sound output: default, null or wav:PATH\n"
    "  KORVEL_DISPLAY    the screen mode to assume, WxH[xBPP][@HZ]\n";

}  // namespace

int main(int argc, char** argv) {
  if (suite::AnswerHelpOrVersion(argc, argv, "[-pri=FOLDER] [-s=NUMBER] | --help | --version", kHelp))
    return 0;
  QApplication application(argc, argv);
  InstallQtMessageBoxHandler(QStringLiteral("Lumaro"), lumaro::FromSystemText);
  InstallQtDisplayProvider();
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += (i > 1 ? " " : "") + std::string(argv[i]);
  lumaro::CLumaroApp app;
  app.InitInstance(arguments);
  return app.ExitInstance();
}
