#pragma once

// The process-wide values the program names. Set by the start-up display check and the theme;
// read by the layout and the time ruler. User-interface thread only.

namespace lumaro {

// 1 at 1024 x 768, 2 at 1440 x 900, 0 otherwise: chooses the theme's resolution folder.
extern int g_nResolution;
// The loaded theme is made for 1440 x 900 (wider ruler blocks).
extern bool g_bTheme1440;

// "1024,768" for resolution 1, "1440,900" for 2, "" otherwise.
const char* ResolutionText(int resolution);

}  // namespace lumaro
