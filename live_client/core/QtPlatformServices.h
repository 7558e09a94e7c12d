#pragma once

// The program's answers to the platform's replaceable services: message boxes shown with Qt,
// and display modes read from the screen. Installed once by the program at start; tests
// install scripted ones instead.

namespace korvel {

// Message boxes of the platform service shown as modal Qt boxes (texts are code page 936).
void InstallQtMessageBoxHandler();
// The screen's mode from Qt; the modes offered are the screen's own and the suited modes
// (1024 x 768, 1440 x 900) that fit on it, which the program can size its window to.
void InstallQtDisplayProvider();

}  // namespace korvel
