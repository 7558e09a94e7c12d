#pragma once

// The live client's application object: checks its resources and the display mode, runs the
// main dialog modally and restores the display mode at exit. One per process.

#include <string>

#include "platform/Display.h"

class CKorvelApp {
 public:
  // Runs the whole program: resources, display mode, the dialog. Returns false, as the process
  // ends when the dialog closes. `clientFolder` as for CKorvelDlg.
  bool InitInstance(const std::string& clientFolder = {});
  // Puts the display mode found at start back when it was switched. Returns the exit code.
  int ExitInstance();

  // The display-mode check: passes at once for a suited mode (more than 15 bits per pixel,
  // 1024 x 768 or 1440 x 900); otherwise offers the largest suited mode and switches to it on
  // Yes. Sets g_nResolution. False when the program must end.
  bool CheckDisplayMode();

  int m_nSavedWidth = 0;
  int m_nSavedHeight = 0;
  platform::DisplayMode m_devMode;  // the mode record the check works on
};
