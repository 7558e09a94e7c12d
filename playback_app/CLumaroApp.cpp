#include "playback_app/CLumaroApp.h"

#include <QFile>
#include <cstdio>

#include "common/TraceMessage.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TitledWindow.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/LumaroIds.h"

// The resources are compiled into the static core library; the linker keeps them only when
// something names their initialiser.
static void InitLumaroResources() { Q_INIT_RESOURCE(lumaro); }

namespace lumaro {

namespace {

bool IsSuitedSize(int width, int height) {
  return (width == 1024 && height == 768) || (width == 1440 && height == 900);
}

}  // namespace

bool LumaroResourcesAvailable() {
  InitLumaroResources();
  return QFile::exists(QStringLiteral(":/lumaro/lumaro.xpm"));
}

bool PostExitNotice() {
  auto window = platform::FindTitledWindow(kExitNoticeTitle);
  if (!window) return false;
  return window->Post(platform::Message{WM_LUMARO_EXITED, 0, 0});
}

bool CLumaroApp::CheckDisplayMode() {
  m_bDisplayChecked = true;
  const platform::DisplayMode current = platform::CurrentDisplayMode();
  m_nSavedWidth = current.width;
  m_nSavedHeight = current.height;
  if (current.bits_per_pixel >= 16 && IsSuitedSize(current.width, current.height)) {
    g_nResolution = current.width == 1024 ? 1 : 2;
    return true;
  }
  platform::DisplayMode candidate{16, 1024, 768, 60};
  for (const platform::DisplayMode& mode : platform::DisplayModes())
    if (mode.width >= candidate.width && mode.height >= candidate.height &&
        mode.bits_per_pixel >= candidate.bits_per_pixel && mode.frequency_hz >= candidate.frequency_hz &&
        IsSuitedSize(mode.width, mode.height))
      candidate = mode;

  char question[256];
  std::snprintf(question, sizeof question,
                "There is no suited Display Mode!\n We recommend Lumaro.exe to run under %d*%d,to change "
                "display mode?\n\nCancel to exit!",
                candidate.width, candidate.height);
  if (platform::MessageBox(nullptr, question, "", platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
    return false;
  if (!platform::ChangeDisplayMode(candidate)) {
    platform::MessageBox(nullptr, "Change display mode fail.", "", platform::MB_OK);
    return false;
  }
  // The theme follows the mode switched to, so 1440 x 900 gets the 1440 x 900 theme rather
  // than the small one in a larger window.
  g_nResolution = candidate.width == 1024 ? 1 : 2;
  return true;
}

StartResult CLumaroApp::InitInstance(const std::string& arguments, const DialogRunner& runner,
                                     const std::string& programFolder) {
  if (!CheckDisplayMode()) return StartResult::DisplayRefused;
  if (!LumaroResourcesAvailable()) {
    platform::MessageBox(nullptr, "Can not find resource dll!", "", platform::MB_OK);
    return StartResult::NoResources;
  }
  m_options = ParseCommandLine(arguments);
  {
    platform::SingleInstanceLock instance(kInstanceMutexName);
    if (!instance.Held()) {
      TraceMessage("[LUMARO] - another instance runs.");
      return StartResult::SecondInstance;
    }
    CLumaroDlg dialog(m_options.nS, m_options.strPicturePath, programFolder);
    platform::StopSignalWatch stop([&dialog](int signal) { dialog.RequestStop(signal); });
    if (runner) runner(dialog);
    else dialog.DoModal();
  }
  PostExitNotice();
  return StartResult::DialogRan;
}

int CLumaroApp::ExitInstance() {
  if (!m_bDisplayChecked) return 0;
  const platform::DisplayMode current = platform::CurrentDisplayMode();
  if (current.width != m_nSavedWidth || current.height != m_nSavedHeight) platform::RestoreDisplayMode();
  return 0;
}

}  // namespace lumaro
