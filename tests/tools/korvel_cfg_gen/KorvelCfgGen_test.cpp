#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "live_client/core/KorvelConfig.h"
#include "platform/Paths.h"
#include "tests/support/TempFolder.h"
#include "tools/korvel_cfg_gen/CfgSpec.h"

namespace {

std::string Tool() { return std::string(std::getenv("SUITE_BUILD_DIR")) + "/bin/korvel_cfg_gen"; }

// Runs the tool with `arguments` (already quoted), returns its exit status and output.
int RunTool(const std::string& arguments, std::string* output = nullptr) {
  const std::string command = "'" + Tool() + "' " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(KorvelCfgGen, SlotSpecsOutOfRangeOrMalformedAreRefused) {
  const char* bad[] = {
      "1:1:0:127.0.0.1:8670:9008:1:admin",             // too few fields
      "1:1:0:127.0.0.1:8670:9008:1:a:b:c:d:e",         // too many
      "0:1:0:127.0.0.1:8670:9008:1:admin:",            // page counted from 1
      "6:1:0:127.0.0.1:8670:9008:1:admin:",            // five pages
      "1:26:0:127.0.0.1:8670:9008:1:admin:",           // 25 windows
      "1:1:5:127.0.0.1:8670:9008:1:admin:",            // kinds 0-4
      "1:1:0:127.0.0.1:10000:9008:1:admin:",           // ports up to 9999
      "1:1:0:127.0.0.1:8670:9008:0:admin:",            // channel counted from 1
      "1:1:0:127.0.0.1:8670:9008:25:admin:",           // 24 channels
      "1:1:0:127.0.0.1:8670x:9008:1:admin:",           // trailing garbage in a number
      "1:1:0::8670:9008:1:admin:",                     // empty address = unassigned
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(ParseSlotSpec(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }

  std::string error;
  const auto spec = ParseSlotSpec("5:25:3:cam.example:0:9999:24:admin::Gate", error);
  ASSERT_TRUE(spec) << error;
  EXPECT_EQ(spec->page, 4);
  EXPECT_EQ(spec->window, 24);
  EXPECT_EQ(spec->channel, 23);
  EXPECT_EQ(spec->kind, kKindAlder);
  EXPECT_EQ(spec->password, "");
  EXPECT_EQ(spec->cameraDescription, "Gate");
  EXPECT_EQ(spec->serverDescription, "");
}

// What the tool writes is what the client loads: slots in their windows, the settings given,
// every other slot unassigned, the file readable by its owner only.
TEST(KorvelCfgGen, WrittenFileLoadsInTheClientAndPrintsBack) {
  suite::test::TempFolder folder("cfg_gen");
  const std::string slots[] = {
      "1:1:0:127.0.0.110:8670:9008:1:admin:1234:DVR camera 1:Demo DVR",
      "1:8:3:127.0.0.111:8000:9008:4:admin:1234:Card camera 4:Demo card",
      "3:25:1:host.example:7000:7001:16:op:",
  };
  std::string arguments = "--folder '" + folder.path() + "'";
  for (const std::string& slot : slots) arguments += " --slot '" + slot + "'";
  arguments += " --free-mb 650 --drive-mask 2 --rec-drive 'D:\\' --snap-path 'C:\\Pic'";
  std::string output;
  ASSERT_EQ(RunTool(arguments, &output), 0) << output;

  struct stat info {};
  ASSERT_EQ(stat((folder / "Korvel.cfg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  static CPageInfo pages[kPageCount];
  CKorvelSettings settings;
  ASSERT_EQ(LoadConfigFile(platform::ToWindowsPath(folder.path()), pages, settings), 1);
  EXPECT_EQ(pages[0].camera[7].strAddr, "127.0.0.111");
  EXPECT_EQ(pages[0].camera[7].nKind, kKindAlder);
  EXPECT_EQ(pages[0].camera[7].nChannel, 3);
  EXPECT_EQ(pages[0].camera[7].nPort, 8000);
  EXPECT_EQ(pages[2].camera[24].nPort2, 7001);
  EXPECT_EQ(pages[2].camera[24].strPassword, "");
  int assigned = 0;
  for (const CPageInfo& page : pages)
    for (const CCameraInfo& slot : page.camera) assigned += slot.IsAssigned();
  EXPECT_EQ(assigned, 3);
  EXPECT_EQ(settings.m_nFreeSpaceMB, 650);
  EXPECT_EQ(settings.m_nRecDriveMask, 2);
  EXPECT_EQ(settings.m_strRecDrive, "D:\\");
  EXPECT_EQ(settings.m_strSnapPath, "C:\\Pic");

  ASSERT_EQ(RunTool("--print '" + folder.path() + "'", &output), 0) << output;
  std::ostringstream expected;
  expected << "slot " << slots[0] << "\nslot " << slots[1] << "\nslot " << slots[2] << "::\n"
           << "free-mb=650\nsnap-format=0\ndrive-mask=2\nsnap-path=C:\\Pic\nrec-drive=D:\\\n";
  EXPECT_EQ(output, expected.str());
}

// A mistake on the command line never leaves a half-made file behind, and an existing file
// is kept as it was.
TEST(KorvelCfgGen, BadArgumentsLeaveTheFolderAlone) {
  suite::test::TempFolder folder("cfg_gen_bad");
  const std::string base = "--folder '" + folder.path() + "'";
  EXPECT_EQ(RunTool(base + " --slot '1:1:0:127.0.0.1:8670:9008:99:a:b'"), 2);
  EXPECT_EQ(RunTool(base + " --free-mb lots"), 2);
  // Below what the settings sheet accepts: the operator could never confirm the sheet.
  EXPECT_EQ(RunTool(base + " --free-mb 200"), 2);
  EXPECT_EQ(RunTool(base + " --slot"), 2);
  EXPECT_EQ(RunTool("--print '" + folder.path() + "'"), 1);
  struct stat info {};
  EXPECT_NE(stat((folder / "Korvel.cfg").c_str(), &info), 0);

  EXPECT_EQ(RunTool("--folder '" + (folder / "missing") + "'"), 1);
  EXPECT_NE(stat((folder / "missing").c_str(), &info), 0);
}

}  // namespace
