#include "live_client/core/CKorvelApp.h"

#include <cstdio>

#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/CKorvelLive.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelResources.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

namespace {

bool IsSuitedSize(int width, int height) {
  return (width == 1024 && height == 768) || (width == 1440 && height == 900);
}

}  // namespace

bool CKorvelApp::InitInstance(const std::string& clientFolder) {
  if (!KorvelResources::Available()) {
    platform::MessageBox(nullptr, "Can not find resource dll!", "", platform::MB_OK);
    return false;
  }
  g_nResolution = 1;
  if (!CheckDisplayMode()) return false;

  CKorvelDlg dialog(clientFolder);
  dialog.SetLiveLink(std::make_shared<CKorvelLive>(dialog));
  platform::StopSignalWatch stop([&dialog](int signal) { dialog.RequestStop(signal); });
  dialog.DoModal();
  return false;
}

bool CKorvelApp::CheckDisplayMode() {
  m_devMode = platform::CurrentDisplayMode();
  m_nSavedWidth = m_devMode.width;
  m_nSavedHeight = m_devMode.height;
  if (m_devMode.bits_per_pixel > 15 && IsSuitedSize(m_devMode.width, m_devMode.height)) {
    g_nResolution = m_devMode.width == 1024 ? 1 : 2;
    return true;
  }

  // The largest suited mode the screen offers; of equal ones the last.
  platform::DisplayMode candidate{16, 1024, 768, 60};
  for (const platform::DisplayMode& mode : platform::DisplayModes()) {
    if (mode.width >= candidate.width && mode.height >= candidate.height &&
        mode.bits_per_pixel >= candidate.bits_per_pixel &&
        mode.frequency_hz >= candidate.frequency_hz && IsSuitedSize(mode.width, mode.height))
      candidate = mode;
  }

  char question[256];
  std::snprintf(question, sizeof question,
                "There is no suited Display Mode!\n We recommend Korvel.exe to run under "
                "%d*%d,to change display mode?\n\nCancel to exit!",
                candidate.width, candidate.height);
  if (platform::MessageBox(nullptr, question, "", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
      platform::IDYES) {
    g_nResolution = 0;
    return false;
  }
  if (!platform::ChangeDisplayMode(candidate)) {
    platform::MessageBox(nullptr, "Change display mode fail.", "", platform::MB_OK);
    g_nResolution = 0;
    return false;
  }
  // The skin follows the mode switched to, so a 1440 x 900 mode gets the 1440 x 900 theme
  // rather than the small theme stretched over a larger window.
  g_nResolution = candidate.width == 1024 ? 1 : 2;
  return true;
}

int CKorvelApp::ExitInstance() {
  const platform::DisplayMode current = platform::CurrentDisplayMode();
  if (current.width != m_nSavedWidth || current.height != m_nSavedHeight)
    platform::RestoreDisplayMode();
  return 0;
}
