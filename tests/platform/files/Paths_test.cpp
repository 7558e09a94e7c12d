#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Files.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/TempFolder.h"

namespace {

using suite::test::FakeDiskSpace;
using suite::test::TempDriveTable;
using suite::test::TempFolder;

void MakeFolder(const std::string& host) { ASSERT_EQ(::mkdir(host.c_str(), 0755), 0) << host; }

void WriteText(const std::string& host, const std::string& text) {
  std::ofstream(host, std::ios::binary) << text;
}

TEST(Paths, WindowsPathsMapThroughTheDriveTable) {
  TempDriveTable drives("CD");
  const std::string d = drives.Root('D');
  EXPECT_EQ(platform::ToHostPath("D:\\VIDEO\\a\\b.avi"), d + "/VIDEO/a/b.avi");
  EXPECT_EQ(platform::ToHostPath("d:/VIDEO//a\\b.avi"), d + "/VIDEO/a/b.avi");
  EXPECT_EQ(platform::ToHostPath("D:\\"), d);
  EXPECT_EQ(platform::ToHostPath("D:\\VIDEO\\"), d + "/VIDEO/");
  EXPECT_EQ(platform::ToHostPath("\\tmp\\x.ini"), "/tmp/x.ini");
  EXPECT_EQ(platform::ToHostPath("/already/host"), "/already/host");

  // A file written through the Windows path lands in the drive's folder.
  ASSERT_TRUE(platform::CreateFolderTree("D:\\VIDEO\\a"));
  platform::File file;
  ASSERT_TRUE(file.Open("D:\\VIDEO\\a\\b.avi", platform::File::Mode::CreateNew));
  ASSERT_TRUE(file.Write("RIFF", 4));
  file.Close();
  EXPECT_EQ(platform::FileSize(d + "/VIDEO/a/b.avi"), 4);

  // A letter outside the table never reaches a real folder.
  EXPECT_FALSE(platform::Exists("Q:\\"));
  EXPECT_FALSE(platform::CreateFolder("Q:\\VIDEO"));
  EXPECT_EQ(platform::DriveRoot('q'), "");

  // Back to Windows form, including the root and a path outside every drive.
  EXPECT_EQ(platform::ToWindowsPath(d + "/VIDEO/a/b.avi"), "D:\\VIDEO\\a\\b.avi");
  EXPECT_EQ(platform::ToWindowsPath(d + "/"), "D:\\");
  // A folder whose name only starts like a root is not below it.
  std::string outside = d + "x/y";
  for (char& c : outside) if (c == '/') c = '\\';
  EXPECT_EQ(platform::ToWindowsPath(d + "x/y"), outside);
}

TEST(Paths, ExistingComponentsResolveWithoutCase) {
  TempDriveTable drives("CD");
  const std::string d = drives.Root('D');
  MakeFolder(d + "/Video");
  MakeFolder(d + "/Video/Chn_01");
  WriteText(d + "/Video/Chn_01/File.AVI", "x");

  EXPECT_EQ(platform::ToHostPath("D:\\VIDEO\\chn_01\\file.avi"), d + "/Video/Chn_01/File.AVI");
  EXPECT_TRUE(platform::Exists("D:\\video\\CHN_01\\FILE.avi"));
  EXPECT_EQ(platform::FileSize("d:\\VIDEO\\CHN_01\\file.AVI"), 1);
  // Missing parts keep the case they were written with, below the resolved existing part.
  EXPECT_EQ(platform::ToHostPath("D:\\VIDEO\\CHN_01\\New\\x.avi"), d + "/Video/Chn_01/New/x.avi");

  // GBK: 0xB0 0x41 and 0xB0 0x61 are two different characters; only ASCII letters fold.
  MakeFolder(d + "/\xB0\x41");
  EXPECT_EQ(platform::ToHostPath("D:\\\xB0\x41"), d + "/\xB0\x41");
  EXPECT_EQ(platform::ToHostPath("D:\\\xB0\x61"), d + "/\xB0\x61");
  EXPECT_FALSE(platform::Exists("D:\\\xB0\x61"));
}

TEST(Paths, DriveStringsTypesAndSpace) {
  TempDriveTable drives("CDE", 'C');
  char buffer[32];
  std::memset(buffer, 'x', sizeof(buffer));
  ASSERT_EQ(platform::GetLogicalDriveStrings(sizeof(buffer), buffer), 12u);
  EXPECT_EQ(std::string(buffer, 13), std::string("C:\\\0D:\\\0E:\\\0\0", 13));
  // Too small: nothing written, the size needed (with the final zero) returned.
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(platform::GetLogicalDriveStrings(12, buffer), 13u);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(platform::GetLogicalDriveStrings(0, nullptr), 13u);

  EXPECT_EQ(platform::GetDriveType("D:\\"), platform::kDriveFixed);
  EXPECT_EQ(platform::GetDriveType("e:"), platform::kDriveFixed);
  EXPECT_EQ(platform::GetDriveType("Q:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetDriveType(""), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetDriveType("D:\\VIDEO"), platform::kDriveNoRootDir);

  // The real measurement answers for a configured drive.
  platform::DiskSpace real;
  ASSERT_TRUE(platform::GetDiskFreeSpace("C:\\", real));
  EXPECT_GT(real.total_bytes, 0u);
  EXPECT_LE(real.free_bytes_available, real.total_bytes);

  {
    FakeDiskSpace space;
    space.Set('D', 700, 1000);
    platform::DiskSpace got;
    ASSERT_TRUE(platform::GetDiskFreeSpace("D:\\", got));
    EXPECT_EQ(got.free_bytes_available, 700ull << 20);
    EXPECT_EQ(got.total_bytes, 1000ull << 20);
    // A drive that cannot be queried leaves the caller's value alone.
    space.Fail('D');
    platform::DiskSpace kept = got;
    EXPECT_FALSE(platform::GetDiskFreeSpace("D:\\", kept));
    EXPECT_EQ(kept.free_bytes_available, 700ull << 20);
    EXPECT_FALSE(platform::GetDiskFreeSpace("Q:\\", kept));
  }
  // The fake is gone: the real measurement is back.
  platform::DiskSpace again;
  EXPECT_TRUE(platform::GetDiskFreeSpace("D:\\", again));
}

TEST(Paths, TableComesFromEnvironmentThenDrivesIniThenDefault) {
  TempDriveTable keep("C");  // restores the process table at the end
  TempFolder folder("paths");

  auto parsed = platform::ParseDriveList(" c=/x ; D=/y/ ;System=d;E=relative;C=/z;junk");
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->drives.size(), 2u);
  EXPECT_EQ(parsed->drives[0].letter, 'C');
  EXPECT_EQ(parsed->drives[0].root, "/x");
  EXPECT_EQ(parsed->drives[1].root, "/y");
  EXPECT_EQ(parsed->system_drive, 'D');
  EXPECT_FALSE(platform::ParseDriveList("nothing;here"));

  WriteText(folder / "Drives.ini",
            "; test\r\n[Labels]\r\nF=Video\r\n[Drives]\r\nF = /f\r\nC=rel/c\r\n[System]\r\nDrive=F\r\n");
  auto ini = platform::ReadDrivesIni(folder / "Drives.ini");
  ASSERT_TRUE(ini);
  ASSERT_EQ(ini->drives.size(), 2u);
  EXPECT_EQ(ini->drives[0].letter, 'F');
  EXPECT_EQ(ini->drives[1].root, folder / "rel/c");
  EXPECT_EQ(ini->system_drive, 'F');
  EXPECT_EQ(ini->drives[0].label, "Video");
  platform::SetDriveTable(*ini);
  std::string label;
  ASSERT_TRUE(platform::GetVolumeLabel("f:\\", label));
  EXPECT_EQ(label, "Video");
  ASSERT_TRUE(platform::GetVolumeLabel("C:\\", label));
  EXPECT_EQ(label, "");
  EXPECT_FALSE(platform::GetVolumeLabel("Q:\\", label));
  EXPECT_FALSE(platform::ReadDrivesIni(folder / "missing.ini"));

  const char* old_xdg = std::getenv("XDG_DATA_HOME");
  const std::string saved_xdg = old_xdg ? old_xdg : "";
  ::setenv("KORVEL_DRIVES", ("G=" + (folder / "g")).c_str(), 1);
  platform::ResetDriveTable();
  EXPECT_EQ(platform::DriveRoot('G'), folder / "g");
  EXPECT_TRUE(platform::IsFolder("G:\\"));  // made on load

  // Without the environment: Drives.ini beside the program, else C and D under XDG_DATA_HOME.
  ::unsetenv("KORVEL_DRIVES");
  ::setenv("XDG_DATA_HOME", (folder / "xdg").c_str(), 1);
  platform::ResetDriveTable();
  const platform::DriveTable loaded = platform::CurrentDriveTable();
  if (auto beside = platform::ReadDrivesIni(platform::ProgramFolderHost() + "/Drives.ini")) {
    ASSERT_EQ(loaded.drives.size(), beside->drives.size());
    EXPECT_EQ(loaded.drives[0].root, beside->drives[0].root);
  } else {
    ASSERT_EQ(loaded.drives.size(), 2u);
    EXPECT_EQ(loaded.drives[0].root, folder / "xdg/korvel/C");
    EXPECT_EQ(loaded.drives[1].root, folder / "xdg/korvel/D");
    EXPECT_TRUE(platform::IsFolder("D:\\"));
  }
  if (old_xdg) ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
}

TEST(Paths, SystemAndProgramFolders) {
  TempDriveTable drives("CD", 'D');
  EXPECT_EQ(platform::SystemDriveLetter(), 'D');
  EXPECT_EQ(platform::SystemFolder().substr(0, 3), "D:\\");
  EXPECT_EQ(platform::SystemDriveRoot(), "D:\\");

  // Tests run from build/tests (see the test registration).
  const char* build_env = std::getenv("SUITE_BUILD_DIR");
  ASSERT_NE(build_env, nullptr);
  // The executable's path has its links resolved; so must the build folder to compare.
  const std::string build = std::filesystem::canonical(build_env).string();
  EXPECT_EQ(platform::ProgramFolderHost(), build + "/tests");
  // The Windows form joined with a file name reaches the same file.
  EXPECT_EQ(platform::ToHostPath(platform::ProgramFolder() + "\\Setting.ini"),
            platform::ProgramFolderHost() + "/Setting.ini");
  EXPECT_EQ(platform::ModuleFileName().substr(0, platform::ProgramFolder().size()), platform::ProgramFolder());

  // A program folder below a drive root has the drive's letter.
  platform::SetDriveTable({{{'C', drives.Root('C')}, {'E', build}}, 'C'});
  EXPECT_EQ(platform::ProgramFolder(), "E:\\tests");
}

}  // namespace
