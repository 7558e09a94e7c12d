#pragma once
// Shared pieces of the playback program's tests: recordings made with the record-file
// library's own AVI writer and index, a program folder with the built data files, and the
// main dialog's surroundings with an event-loop pump.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Display.h"
#include "tests/support/TempFolder.h"

class QApplication;

namespace lumaro_test {

// The test process's application object, made on first use (GUI tests only).
QApplication& App();

// "X:\video\[<recorder>\]2010_05_05\<ch>\<hh>\2010-05-05-HHMMSS <type>1<ch>.avi", written as a
// real AVI file and entered into the day's index by the record-file library with `seconds`.
// Returns the Windows-form path.
std::string MakeRecording(char drive, const std::string& recorderFolder, int channel, int hour, int minute,
                          int second, char type, unsigned seconds, int year = 2010, int month = 5, int day = 5);

// Enters an existing recording (Windows-form path) into its day's index, as the capture side does.
void IndexRecording(const std::string& path, unsigned seconds);

// A program folder holding copies of the built playback data (themes, language files) and a
// Setting.ini of the test's choosing.
class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& skin = "TBlack", const std::string& language = "English");
  // Host path; CLumaroDlg takes it as its program folder.
  const std::string& path() const { return folder_.path(); }
  std::string File(const std::string& relative) const { return folder_ / relative; }

 private:
  suite::test::TempFolder folder_;
};

// The screen the dialog tests lay out on: 1024 x 768, 32 bits, 60 Hz.
class ScreenOf1024 : public platform::DisplayProvider {
 public:
  platform::DisplayMode CurrentMode() override { return {32, 1024, 768, 60}; }
  std::vector<platform::DisplayMode> Modes() override { return {CurrentMode()}; }
};

// What a main-dialog test starts from: the application object, no message boxes shown yet and
// every one answered OK, resolution 1 on ScreenOf1024. Leaving puts the previous screen back
// and forgets the boxes shown.
class DialogSurroundings {
 public:
  DialogSurroundings();
  ~DialogSurroundings();
  DialogSurroundings(const DialogSurroundings&) = delete;
  DialogSurroundings& operator=(const DialogSurroundings&) = delete;

 private:
  std::shared_ptr<platform::DisplayProvider> previous_;
};

// Runs the Qt event loop until `done` holds (true) or `timeout` has passed (false).
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace lumaro_test
