#pragma once

// The playback program's application object: display check, resources, command line, single
// instance, the main dialog, the exit notice, and the display mode put back at the end.

#include <functional>
#include <string>

#include "playback_app/CommandLine.h"

namespace lumaro {

class CLumaroDlg;

enum class StartResult {
  DialogRan,          // the dialog ran and closed
  DisplayRefused,     // unsuited display mode, not switched
  NoResources,        // the program's resources are missing
  SecondInstance,     // another instance runs: ended silently
};

class CLumaroApp {
 public:
  // Runs the dialog given to it; the default shows it modally. Tests pass their own runner.
  using DialogRunner = std::function<int(CLumaroDlg&)>;

  // `arguments`: the command line without the program name. `programFolder` as for CLumaroDlg.
  StartResult InitInstance(const std::string& arguments, const DialogRunner& runner = {},
                           const std::string& programFolder = {});
  // Puts back the display mode found at start when it was switched; the exit code.
  int ExitInstance();

  // Passes a suited mode (16 bits or more, 1024 x 768 or 1440 x 900); otherwise offers the
  // best suited mode the display has and switches to it on Yes. Sets g_nResolution.
  bool CheckDisplayMode();

  const CommandLine& Options() const { return m_options; }

  int m_nSavedWidth = 1024;
  int m_nSavedHeight = 768;

 private:
  CommandLine m_options;
  bool m_bDisplayChecked = false;
};

// Whether the program's compiled-in resources are present.
bool LumaroResourcesAvailable();
// Posts the exit notice to the window titled "DUD Avuda Zodazize", when one exists.
bool PostExitNotice();

}  // namespace lumaro
