#pragma once

#include <QString>

// Draws every picture a playback-program theme names into the theme's own folder: the four
// background strips, four faces of each button, the channel button faces ("1H.jpg" ...) and
// the slider tracks and thumbs. The folder holds one theme INI with [ThemeName] ENG.
bool DrawLumaroTheme(const QString& folder);
