#include "playback_app/LumaroGlobals.h"

namespace lumaro {

// Set once at start-up by the display check; the theme folders depend on it.
int g_nResolution = 1;
// Set by every theme load; the ruler's block widths depend on it.
bool g_bTheme1440 = false;

const char* ResolutionText(int resolution) {
  switch (resolution) {
    case 1: return "1024,768";
    case 2: return "1440,900";
    default: return "";
  }
}

}  // namespace lumaro
