// korvel_cfg_gen: writes a client folder's "Korvel.cfg" from command-line slot descriptions,
// or prints one back.
//
//   korvel_cfg_gen --folder DIR [--slot SPEC]... [--free-mb N] [--snap-format 0|1]
//                  [--drive-mask N] [--snap-path "D:\Pic"] [--rec-drive "D:\"]
//   korvel_cfg_gen --print DIR
//
// DIR is a host folder. Slots not named stay unassigned; settings not named keep the
// client's defaults. SPEC is described in CfgSpec.h.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "live_client/core/KorvelConfig.h"
#include "live_client/settings/CPageDiskManagement.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "tools/korvel_cfg_gen/CfgSpec.h"

namespace {

// The page table and settings of this run; the client's own global table is left alone.
CPageInfo g_demoPages[kPageCount];

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "korvel_cfg_gen: %s\n", problem);
  std::fprintf(stderr,
               "usage: korvel_cfg_gen --folder DIR [--slot P:W:KIND:ADDR:PORT:PORT2:CH:USER:"
               "PASSWORD[:CAMERA[:SERVER]]]...\n"
               "         [--free-mb N] [--snap-format 0|1] [--drive-mask N]"
               " [--snap-path PATH] [--rec-drive ROOT]\n"
               "       korvel_cfg_gen --print DIR\n");
  return 2;
}

bool ParseInt(const char* text, int low, int high, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  AssignPageIndexes(g_demoPages);
  CKorvelSettings settings;
  std::string folder;
  bool print = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + option).c_str());
    const char* value = argv[++i];
    std::string error;
    if (option == "--folder" || option == "--print") {
      folder = value;
      print = option == "--print";
    } else if (option == "--slot") {
      const std::optional<SlotSpec> spec = ParseSlotSpec(value, error);
      if (!spec) return Usage(("--slot " + std::string(value) + ": " + error).c_str());
      ApplySlotSpec(*spec, g_demoPages);
    } else if (option == "--free-mb") {
      // The range the settings sheet accepts, so the operator can confirm the sheet as written.
      if (!ParseInt(value, kMinFreeSpaceMB, kMaxFreeSpaceMB, settings.m_nFreeSpaceMB)) {
        return Usage("bad --free-mb (600..1000000)");
      }
    } else if (option == "--snap-format") {
      if (!ParseInt(value, 0, 1, settings.m_nSnapFormat)) return Usage("bad --snap-format");
    } else if (option == "--drive-mask") {
      if (!ParseInt(value, 0, 0x3FFFFFF, settings.m_nRecDriveMask)) {
        return Usage("bad --drive-mask");
      }
    } else if (option == "--snap-path") {
      settings.m_strSnapPath = value;
    } else if (option == "--rec-drive") {
      settings.m_strRecDrive = value;
    } else {
      return Usage(("unknown option " + option).c_str());
    }
  }
  if (folder.empty()) return Usage("--folder or --print is required");
  const std::string clientFolder = platform::ToWindowsPath(folder);

  if (print) {
    if (!LoadConfigFile(clientFolder, g_demoPages, settings)) {
      std::fprintf(stderr, "korvel_cfg_gen: no readable %s in %s\n", kConfigFileName,
                   folder.c_str());
      return 1;
    }
    PrintConfig(std::cout, g_demoPages, settings);
    return 0;
  }
  if (!platform::IsFolder(clientFolder)) {
    std::fprintf(stderr, "korvel_cfg_gen: %s is not a folder\n", folder.c_str());
    return 1;
  }
  if (!SaveConfigToFile(clientFolder, g_demoPages, settings)) {
    std::fprintf(stderr, "korvel_cfg_gen: could not write %s in %s\n", kConfigFileName,
                 folder.c_str());
    return 1;
  }
  return 0;
}
