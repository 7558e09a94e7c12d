#pragma once

// A program's answers to the platform's replaceable services: message boxes shown as modal
// Qt boxes, and display modes read from the screen. Each program installs them once at start,
// on the user-interface thread; tests install scripted ones instead.

#include <QString>
#include <string_view>

// Turns the program's 8-bit text into what Qt shows.
using SystemTextToQt = QString (*)(std::string_view text);

// Message boxes of the platform service shown as modal Qt boxes; their texts and captions go
// through `toQt`, and a box asked for without a caption is titled `defaultCaption`, the
// program's own name.
void InstallQtMessageBoxHandler(const QString& defaultCaption, SystemTextToQt toQt);
// The screen's mode from Qt; the modes offered are the screen's own and the suited modes
// (1024 x 768, 1440 x 900) that fit on it, which a program can size its window to.
void InstallQtDisplayProvider();
