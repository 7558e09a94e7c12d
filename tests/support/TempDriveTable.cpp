#include "tests/support/TempDriveTable.h"

#include <sys/stat.h>

#include <cctype>

namespace suite::test {

TempDriveTable::TempDriveTable(const std::string& letters, char system_drive)
    : folder_("drives"), previous_(platform::CurrentDriveTable()) {
  installed_.system_drive = static_cast<char>(std::toupper(static_cast<unsigned char>(system_drive)));
  for (char letter : letters) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const std::string root = folder_.path() + "/" + upper;
    ::mkdir(root.c_str(), 0755);
    installed_.drives.push_back({upper, root});
  }
  platform::SetDriveTable(installed_);
}

TempDriveTable::~TempDriveTable() { platform::SetDriveTable(previous_); }

std::string TempDriveTable::Root(char letter) const {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const platform::DriveMapping& d : installed_.drives)
    if (d.letter == upper) return d.root;
  return {};
}

}  // namespace suite::test
