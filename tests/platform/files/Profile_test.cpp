#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "tests/support/TempDriveTable.h"

namespace {

using suite::test::TempDriveTable;
using Strings = std::vector<std::string>;

void WriteText(const std::string& host, const std::string& text) {
  std::ofstream(host, std::ios::binary) << text;
}

std::string ReadText(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Get(const char* section, const char* key, const char* def, const char* file) {
  char buffer[256];
  const std::uint32_t n = platform::GetPrivateProfileString(section, key, def, buffer, sizeof(buffer), file);
  return std::string(buffer, n);
}

// Written by another program, with "\n" line ends, duplicates, blanks and GBK text.
const char kSettings[] =
    "; kept as written\n"
    "[Settings]\n"
    "  Language = Chinese \n"
    "language=English\n"
    "Quoted = \"  padded  \"\n"
    "Number=  42abc\n"
    "Neg=-17\n"
    "Empty=\n"
    "Title=\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC\n"
    "not a key line\n"
    "\n"
    "[settings]\n"
    "Extra=1\n"
    "[Other]\n"
    "K=v\n";

TEST(Profile, ReadsWithWindowsSemantics) {
  TempDriveTable drives("CD");
  WriteText(drives.Root('D') + "/Setting.ini", kSettings);
  const char* file = "D:\\SETTING.INI";

  EXPECT_EQ(Get("SETTINGS", "LANGUAGE", "x", file), "Chinese");  // first occurrence, trimmed
  EXPECT_EQ(Get("Settings", "Extra", "none", file), "none");       // second [settings] is hidden
  EXPECT_EQ(Get("Settings", "Quoted", "", file), "  padded  ");
  EXPECT_EQ(Get("Settings", "Title", "", file), "\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC");
  EXPECT_EQ(Get("Settings", "Empty", "dflt", file), "");
  EXPECT_EQ(Get("Settings", "Missing", "dflt  ", file), "dflt");  // default loses trailing spaces
  EXPECT_EQ(Get("Nowhere", "K", nullptr, file), "");
  EXPECT_EQ(Get("Other", "K", "", "D:\\missing.ini"), "");
  EXPECT_EQ(Get("Other", "K", "d", "D:\\missing.ini"), "d");

  EXPECT_EQ(platform::GetPrivateProfileInt("Settings", "Number", 5, file), 42);
  EXPECT_EQ(platform::GetPrivateProfileInt("Settings", "Neg", 5, file), -17);
  EXPECT_EQ(platform::GetPrivateProfileInt("Settings", "Empty", 5, file), 5);
  EXPECT_EQ(platform::GetPrivateProfileInt("Settings", "Language", 5, file), 0);
  EXPECT_EQ(platform::GetPrivateProfileInt("Settings", "Missing", -1, file), -1);

  // A value longer than the buffer is cut to size - 1.
  char small[4];
  EXPECT_EQ(platform::GetPrivateProfileString("Settings", "Language", "", small, sizeof(small), file), 3u);
  EXPECT_STREQ(small, "Chi");

  EXPECT_EQ(platform::ProfileSectionNames(file), (Strings{"Settings", "Other"}));
  EXPECT_EQ(platform::ProfileKeyNames(file, "settings"),
            (Strings{"Language", "Quoted", "Number", "Neg", "Empty", "Title"}));
  EXPECT_EQ(platform::ReadProfileString(file, "other", "k"), "v");
}

TEST(Profile, ListsAreZeroSeparatedAndCutByTheWindowsRule) {
  TempDriveTable drives("CD");
  WriteText(drives.Root('D') + "/l.ini", "[A]\r\nab=1\r\ncd=2\r\n[B]\r\n");
  const char* file = "D:\\l.ini";
  char buffer[16];

  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(platform::GetPrivateProfileString("A", nullptr, "", buffer, sizeof(buffer), file), 6u);
  EXPECT_EQ(std::string(buffer, 7), std::string("ab\0cd\0\0", 7));
  // Exactly big enough.
  EXPECT_EQ(platform::GetPrivateProfileString("A", nullptr, "", buffer, 7, file), 6u);
  // One byte short: the last name is cut, two zeros end the buffer, result size - 2.
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(platform::GetPrivateProfileString("A", nullptr, "", buffer, 6, file), 4u);
  EXPECT_EQ(std::string(buffer, 6), std::string("ab\0c\0\0", 6));
  EXPECT_EQ(platform::GetPrivateProfileString("A", nullptr, "", buffer, 2, file), 0u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0\0", 2));

  EXPECT_EQ(platform::GetPrivateProfileString(nullptr, nullptr, "", buffer, sizeof(buffer), file), 4u);
  EXPECT_EQ(std::string(buffer, 5), std::string("A\0B\0\0", 5));
  // An empty or missing section gives an empty list.
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(platform::GetPrivateProfileString("B", nullptr, "dflt", buffer, sizeof(buffer), file), 0u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0\0", 2));
  EXPECT_EQ(platform::GetPrivateProfileString("Z", nullptr, "", buffer, sizeof(buffer), "D:\\none.ini"), 0u);
}

TEST(Profile, WritesKeepOtherLinesAndDeleteFirstOccurrences) {
  TempDriveTable drives("CD");
  const std::string host = drives.Root('D') + "/Setting.ini";
  WriteText(host, kSettings);
  const char* file = "D:\\Setting.ini";

  ASSERT_TRUE(platform::WritePrivateProfileString("SETTINGS", "LANGUAGE", "English", file));
  ASSERT_TRUE(platform::WritePrivateProfileString("Settings", "New", "1", file));
  ASSERT_TRUE(platform::WritePrivateProfileString("Added", "K", "v", file));
  EXPECT_EQ(ReadText(host),
            "; kept as written\r\n"
            "[Settings]\r\n"
            "Language=English\r\n"
            "language=English\r\n"
            "Quoted = \"  padded  \"\r\n"
            "Number=  42abc\r\n"
            "Neg=-17\r\n"
            "Empty=\r\n"
            "Title=\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC\r\n"
            "not a key line\r\n"
            "New=1\r\n"
            "\r\n"
            "[settings]\r\n"
            "Extra=1\r\n"
            "[Other]\r\n"
            "K=v\r\n"
            "[Added]\r\n"
            "K=v\r\n");

  // Deleting a key removes its first line; a later duplicate then becomes the value.
  ASSERT_TRUE(platform::WritePrivateProfileString("Settings", "Language", "Klingon", file));
  ASSERT_TRUE(platform::WritePrivateProfileString("Settings", "language", nullptr, file));
  EXPECT_EQ(Get("Settings", "Language", "", file), "English");
  ASSERT_TRUE(platform::WritePrivateProfileString("Settings", "language", nullptr, file));
  EXPECT_EQ(Get("Settings", "Language", "gone", file), "gone");
  EXPECT_TRUE(platform::WritePrivateProfileString("Settings", "NoSuchKey", nullptr, file));

  // Deleting a section removes the first one; the hidden duplicate shows through.
  ASSERT_TRUE(platform::WritePrivateProfileString("settings", nullptr, nullptr, file));
  EXPECT_EQ(Get("Settings", "Extra", "", file), "1");
  EXPECT_EQ(Get("Settings", "Quoted", "gone", file), "gone");
  EXPECT_EQ(platform::ProfileSectionNames(file), (Strings{"settings", "Other", "Added"}));
  EXPECT_EQ(ReadText(host).substr(0, 31), "; kept as written\r\n[settings]\r\n");

  // Text that would read back as other lines is refused and the file left alone.
  const std::string before = ReadText(host);
  EXPECT_FALSE(platform::WritePrivateProfileString("Other", "K", "a\r\n[Evil]", file));
  EXPECT_FALSE(platform::WritePrivateProfileString("Other", "a=b", "c", file));
  EXPECT_FALSE(platform::WritePrivateProfileString(nullptr, "K", "v", file));
  EXPECT_EQ(ReadText(host), before);

  // A missing folder is a failure, not a silently lost setting.
  EXPECT_FALSE(platform::WritePrivateProfileString("S", "K", "v", "D:\\no\\such\\folder.ini"));
  EXPECT_FALSE(platform::Exists("D:\\no"));
}

TEST(Profile, ChangesByOtherProgramsAreSeen) {
  TempDriveTable drives("CD");
  const std::string host = drives.Root('D') + "/FileInfo0.ini";
  const char* file = "D:\\FileInfo0.ini";
  ASSERT_TRUE(platform::WritePrivateProfileString("FileCount", "nCount", "1", file));
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "nCount", 0, file), 1);
  WriteText(host, "[FileCount]\r\nnCount=22\r\n");  // same inode, new size
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "nCount", 0, file), 22);
  ASSERT_TRUE(platform::WritePrivateProfileString("FileCount", "Other", "x", file));
  EXPECT_EQ(ReadText(host), "[FileCount]\r\nnCount=22\r\nOther=x\r\n");
  ASSERT_TRUE(platform::DeleteFile(file));
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "nCount", -1, file), -1);
}

// More files than the parsed copies kept: every file still gets exactly its own writes.
TEST(Profile, ManyFilesInTurnKeepTheirOwnContents) {
  TempDriveTable drives("CD");
  constexpr int kFiles = 40;
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < kFiles; ++i) {
      const std::string file = "D:\\FileInfo" + std::to_string(i) + ".ini";
      ASSERT_TRUE(platform::WritePrivateProfileString("FileInfo", ("k" + std::to_string(round)).c_str(),
                                                      std::to_string(i).c_str(), file.c_str()));
    }
  for (int i = 0; i < kFiles; ++i) {
    const std::string file = "D:\\FileInfo" + std::to_string(i) + ".ini";
    EXPECT_EQ(ReadText(drives.Root('D') + "/FileInfo" + std::to_string(i) + ".ini"),
              "[FileInfo]\r\nk0=" + std::to_string(i) + "\r\nk1=" + std::to_string(i) + "\r\n");
    EXPECT_EQ(platform::GetPrivateProfileInt("FileInfo", "k1", -1, file.c_str()), i);
  }
}

// The index writer appends while another thread reads the same file: the reader must only ever
// see complete files, and two writers in one process must not lose each other's keys.
TEST(Profile, ConcurrentWritersAndReadersSeeWholeFiles) {
  TempDriveTable drives("CD");
  const std::string host = drives.Root('D') + "/FileInfo.ini";
  const char* file = "D:\\FileInfo.ini";
  const std::string value(200, 'v');
  constexpr int kKeysPerWriter = 150;

  std::atomic<int> writers_done{0};
  std::atomic<bool> failed{false};
  auto writer = [&](const char* section) {
    for (int i = 0; i < kKeysPerWriter && !failed; ++i) {
      const std::string key = std::string("D:\\VIDEO\\2010_01_05\\") + section + std::to_string(i) + ".avi\\1800";
      if (!platform::WritePrivateProfileString(section, key.c_str(), value.c_str(), file)) failed = true;
    }
    ++writers_done;
  };

  int reads = 0;
  std::string problem;
  std::thread a(writer, "A"), b(writer, "B");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (writers_done < 2 && std::chrono::steady_clock::now() < deadline && problem.empty()) {
    const std::string text = ReadText(host);
    if (text.empty()) continue;
    ++reads;
    // Every line is complete: the file ends with a line end and every key line has the whole value.
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) problem = "unterminated file";
    std::size_t pos = 0;
    while (problem.empty() && pos < text.size()) {
      const std::size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) break;
      const std::string line = text.substr(pos, end - pos);
      if (line.empty()) problem = "empty line";
      else if (line[0] != '[' && line.substr(line.find('=') + 1) != value) problem = "torn line: " + line;
      pos = end + 2;
    }
  }
  a.join();
  b.join();
  ASSERT_TRUE(problem.empty()) << problem;
  ASSERT_FALSE(failed);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(platform::ProfileKeyNames(file, "A").size(), static_cast<std::size_t>(kKeysPerWriter));
  EXPECT_EQ(platform::ProfileKeyNames(file, "B").size(), static_cast<std::size_t>(kKeysPerWriter));
  // Nothing temporary is left beside the file.
  EXPECT_EQ(platform::FindFiles("D:\\*").size(), 1u);
}

}  // namespace
