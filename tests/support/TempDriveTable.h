#pragma once

#include <string>

#include "platform/Paths.h"
#include "tests/support/TempFolder.h"

namespace suite::test {

// Installs a process-wide drive table whose letters stand for fresh temporary folders
// (<temp>/C, <temp>/D, ...), and puts back the table that was in use when it is destroyed.
// Only one should be alive at a time; tests that create it must not run in parallel threads
// with other tests that rely on the drive table.
class TempDriveTable {
 public:
  // `letters` in the order the system lists them, e.g. "CD"; `system_drive` must be one of
  // them or another letter (then no configured drive holds the system folder).
  explicit TempDriveTable(const std::string& letters = "CD", char system_drive = 'C');
  ~TempDriveTable();
  TempDriveTable(const TempDriveTable&) = delete;
  TempDriveTable& operator=(const TempDriveTable&) = delete;

  // Host folder standing for drive `letter` ("" if it is not one of the letters).
  std::string Root(char letter) const;
  // Host path of a file given in Windows form, for checking results behind the system's back.
  std::string Host(const std::string& windows_path) const { return platform::ToHostPath(windows_path); }
  const std::string& folder() const { return folder_.path(); }

 private:
  TempFolder folder_;
  platform::DriveTable previous_;
  platform::DriveTable installed_;
};

}  // namespace suite::test
