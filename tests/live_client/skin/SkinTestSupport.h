#pragma once

// What the theme and control tests share: one QApplication, the program folder of this build,
// and the message boxes shown since the last reset.

#include <QApplication>
#include <string>
#include <vector>

namespace skin_test {

QApplication& App();

// The build's program folder (build/bin), where the shipped themes and language files lie.
std::string ProgramFolder();

// Texts of the message boxes shown since platform::ResetMessageBoxes().
std::vector<std::string> ShownTexts();

}  // namespace skin_test
