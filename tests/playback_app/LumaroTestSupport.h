#pragma once
// Shared pieces of the playback program's tests: recordings made with the record-file
// library's own AVI writer and index, and a program folder with the built data files.

#include <string>

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

}  // namespace lumaro_test
