#pragma once

// The program's command line: "-pri=<picture folder ending in a backslash> -s=<number>",
// read as two items split at the last blank, each of the form key=value. The live client
// starts the program with "-pri=4294967295 -s=0".

#include <string>
#include <string_view>

namespace lumaro {

inline constexpr const char* kDefaultPictureFolder = "D:\\Picture\\";

struct CommandLine {
  std::string strPicturePath = kDefaultPictureFolder;
  int nS = 1;  // 0 selects client mode
};

CommandLine ParseCommandLine(std::string_view arguments);

}  // namespace lumaro
