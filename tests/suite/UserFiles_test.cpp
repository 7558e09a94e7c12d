// Where the programs keep the files their user's runs write: beside the program in a folder the
// user may write, in the user's configuration and data folders otherwise.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "live_client/core/KorvelConfig.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/UserFiles.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A program folder its user may not write, as an installed prefix is (also for the superuser,
// whose writes the permission bits alone decide here). Made writable again at the end so the
// temporary folder can be removed.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& path) : path_(path) { ::chmod(path_.c_str(), 0555); }
  ~ReadOnlyFolder() { ::chmod(path_.c_str(), 0755); }

 private:
  std::string path_;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

unsigned Mode(const std::string& path) { return static_cast<unsigned>(fs::status(path).permissions()) & 0777u; }

struct PageTable {
  CPageInfo table[kPageCount];
};

class UserFiles : public ::testing::Test {
 protected:
  suite::test::TempFolder root{"user-files"};
  ScopedEnv config{"XDG_CONFIG_HOME", (root / "config").c_str()};
  ScopedEnv data{"XDG_DATA_HOME", (root / "data").c_str()};
};

TEST_F(UserFiles, AWritableProgramFolderKeepsItsFilesBeside) {
  fs::create_directory(root / "program");
  const std::string program = root / "program";
  EXPECT_TRUE(platform::FolderIsUserWritable(program));
  EXPECT_EQ(platform::UserFileHostPath("Korvel.cfg", platform::UserFileKind::Configuration, program),
            program + "/Korvel.cfg");
  EXPECT_EQ(platform::UserFileHostPath("Lumaro.log", platform::UserFileKind::Data, program + "/"),
            program + "/Lumaro.log");
  // Windows-form callers get back exactly the path they always built.
  const std::string windows = platform::ToWindowsPath(program);
  EXPECT_EQ(platform::UserFilePath("Lumaro.ini", platform::UserFileKind::Configuration, windows),
            windows + "\\Lumaro.ini");
  EXPECT_EQ(platform::UserFilePath("Lumaro.ini", platform::UserFileKind::Configuration, windows + "\\"),
            windows + "\\Lumaro.ini");
  // Nothing was made in the user's configuration folder.
  EXPECT_FALSE(fs::exists(root / "config"));
}

TEST_F(UserFiles, AReadOnlyProgramFolderSendsFilesToTheUserFoldersWithItsDefaultsCopiedOnce) {
  const std::string program = root / "prefix";
  fs::create_directory(program);
  WriteText(program + "/Lumaro.ini", "[UI_CONFIG]\r\nTHEMENAME=TBlack\r\n");
  ReadOnlyFolder locked(program);
  EXPECT_FALSE(platform::FolderIsUserWritable(program));

  // Configuration: the installed default is copied into the user's folder on first use.
  const std::string ini = platform::UserFileHostPath("Lumaro.ini", platform::UserFileKind::Configuration, program);
  EXPECT_EQ(ini, root / "config/korvel/Lumaro.ini");
  EXPECT_EQ(ReadText(ini), "[UI_CONFIG]\r\nTHEMENAME=TBlack\r\n");
  EXPECT_EQ(Mode(root / "config/korvel"), 0700u) << "the folder holds recorder passwords";
  // The user's own changes are never replaced by the default again.
  WriteText(ini, "[UI_CONFIG]\r\nTHEMENAME=Blue\r\n");
  EXPECT_EQ(platform::UserFileHostPath("Lumaro.ini", platform::UserFileKind::Configuration, program), ini);
  EXPECT_EQ(ReadText(ini), "[UI_CONFIG]\r\nTHEMENAME=Blue\r\n");

  // No default: the path is given, the file is left for its writer.
  const std::string cfg = platform::UserFileHostPath("Korvel.cfg", platform::UserFileKind::Configuration, program);
  EXPECT_EQ(cfg, root / "config/korvel/Korvel.cfg");
  EXPECT_FALSE(fs::exists(cfg));

  // Logs go to the data folder.
  EXPECT_EQ(platform::UserFileHostPath("Lumaro.log", platform::UserFileKind::Data, program),
            root / "data/korvel/Lumaro.log");
  EXPECT_TRUE(fs::is_directory(root / "data/korvel"));

  // The Windows form reaches the same file, and a profile written through it lands there.
  const std::string windows = platform::UserFilePath("Lumaro.ini", platform::UserFileKind::Configuration,
                                                     platform::ToWindowsPath(program));
  EXPECT_EQ(platform::ToHostPath(windows), ini);
  ASSERT_TRUE(platform::ReplaceFileContents(windows, "[IPAddrCount]\r\nAddrCount=0\r\n"));
  EXPECT_EQ(ReadText(ini), "[IPAddrCount]\r\nAddrCount=0\r\n");

  // The program folder itself still holds only what was installed.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(program)) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST_F(UserFiles, UnsetOrRelativeXdgVariablesFallBackToTheHomeFolders) {
  ScopedEnv home("HOME", (root / "home").c_str());
  {
    ScopedEnv unset_config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv relative_data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(platform::UserConfigFolderHost(), root / "home/.config/korvel");
    EXPECT_EQ(platform::UserDataFolderHost(), root / "home/.local/share/korvel");
  }
  EXPECT_EQ(platform::UserConfigFolderHost(), root / "config/korvel");
  ScopedEnv trailing("XDG_DATA_HOME", (root / "data///").c_str());
  EXPECT_EQ(platform::UserDataFolderHost(), root / "data/korvel");
}

// The live client's configuration of an installed client: saved to and loaded from the user's
// configuration folder, owner-only, with the client folder left untouched.
TEST_F(UserFiles, AnInstalledClientSavesAndLoadsItsConfigurationInTheUserFolder) {
  const std::string client = root / "client";
  fs::create_directory(client);
  ReadOnlyFolder locked(client);
  const std::string folder = platform::ToWindowsPath(client);

  auto pages = std::make_unique<PageTable>();
  AssignPageIndexes(pages->table);
  pages->table[0].camera[2].strAddr = "127.0.0.174";
  pages->table[0].camera[2].strCamDesc = "Gate";
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  ASSERT_TRUE(SaveConfigToFile(folder, pages->table, settings));
  const std::string saved = root / "config/korvel/Korvel.cfg";
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(Mode(saved), 0600u);
  EXPECT_FALSE(fs::exists(client + "/Korvel.cfg"));

  auto loaded = std::make_unique<PageTable>();
  CKorvelSettings loaded_settings;
  ASSERT_EQ(LoadConfigFile(folder, loaded->table, loaded_settings), 1);
  EXPECT_EQ(loaded->table[0].camera[2].strAddr, "127.0.0.174");
  EXPECT_EQ(loaded->table[0].camera[2].strCamDesc, "Gate");
  EXPECT_EQ(loaded_settings.m_strRecDrive, "D:\\");
}

}  // namespace
