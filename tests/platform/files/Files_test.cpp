#include "platform/Files.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempDriveTable.h"
#include "tests/support/WriteLimit.h"

namespace {

using platform::File;
using platform::FileError;
using suite::test::TempDriveTable;

void WriteText(const std::string& host, const std::string& text) {
  std::ofstream(host, std::ios::binary) << text;
}

std::string ReadText(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::vector<platform::FindData>& found) {
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.name);
  return names;
}

using Names_t = std::vector<std::string>;

TEST(Files, FindMatchesWildcardsWithoutCase) {
  TempDriveTable drives("CD");
  ASSERT_TRUE(platform::CreateFolderTree("D:\\Video\\2010_05_25"));
  ASSERT_TRUE(platform::CreateFolder("D:\\Video\\2010_05_26"));
  const std::string video = drives.Root('D') + "/Video";
  WriteText(video + "/a.avi", "0123456789");
  WriteText(video + "/B.AVI", "");
  WriteText(video + "/readme", "r");
  WriteText(video + "/x.avi.tmp", "t");

  const auto avis = platform::FindFiles("D:\\VIDEO\\*.avi");
  EXPECT_EQ(Names(avis), (Names_t{"a.avi", "B.AVI"}));
  ASSERT_EQ(avis.size(), 2u);
  EXPECT_EQ(avis[0].size_bytes, 10u);
  EXPECT_FALSE(avis[0].is_folder);
  EXPECT_GT(avis[0].write_time_s, 1000000000);

  const auto dates = platform::FindFiles("D:\\video\\2010_??_??");
  EXPECT_EQ(Names(dates), (Names_t{"2010_05_25", "2010_05_26"}));
  for (const auto& f : dates) EXPECT_TRUE(f.is_folder);

  // "*.*" also takes names without a dot; "." and ".." never appear.
  EXPECT_EQ(Names(platform::FindFiles("D:\\VIDEO\\*.*")),
            (Names_t{"2010_05_25", "2010_05_26", "a.avi", "B.AVI", "readme", "x.avi.tmp"}));
  EXPECT_EQ(platform::FindFiles("D:\\VIDEO\\*").size(), 6u);
  EXPECT_EQ(Names(platform::FindFiles("D:\\VIDEO\\?.avi")), (Names_t{"a.avi", "B.AVI"}));
  EXPECT_EQ(Names(platform::FindFiles("D:\\VIDEO\\README")), (Names_t{"readme"}));
  EXPECT_TRUE(platform::FindFiles("D:\\VIDEO\\nothing\\*").empty());
  EXPECT_TRUE(platform::FindFiles("D:\\VIDEO\\").empty());
  EXPECT_EQ(Names(platform::FindFiles("D:*")), (Names_t{"Video"}));

  EXPECT_TRUE(platform::MatchesWildcard("Language.*", "language.Chinese"));
  EXPECT_TRUE(platform::MatchesWildcard("a*b*c", "aXXbYbZc"));
  EXPECT_FALSE(platform::MatchesWildcard("a*b*c", "aXXbYbZ"));
  EXPECT_FALSE(platform::MatchesWildcard("*.avi", "x.avi.tmp"));
  EXPECT_FALSE(platform::MatchesWildcard("?", ""));
  EXPECT_TRUE(platform::MatchesWildcard("*", ""));
}

TEST(Files, FoldersAndFilesReportWhyTheyFail) {
  TempDriveTable drives("CD");
  FileError error = FileError::None;

  EXPECT_FALSE(platform::CreateFolder("D:\\a\\b", &error));
  EXPECT_EQ(error, FileError::NotFound);
  ASSERT_TRUE(platform::CreateFolder("D:\\a", &error));
  EXPECT_FALSE(platform::CreateFolder("D:\\A", &error));
  EXPECT_EQ(error, FileError::AlreadyExists);

  // Create-all accepts a trailing separator and an existing path, and stops at a file.
  EXPECT_TRUE(platform::CreateFolderTree("D:\\DownLoadVideo\\x\\y\\", &error));
  EXPECT_TRUE(platform::IsFolder("D:\\downloadvideo\\X\\Y"));
  EXPECT_TRUE(platform::CreateFolderTree("D:\\DownLoadVideo\\x\\y"));
  WriteText(drives.Root('D') + "/a/file", "12345");
  EXPECT_FALSE(platform::CreateFolderTree("D:\\a\\file\\sub", &error));
  EXPECT_EQ(error, FileError::NotFound);
  EXPECT_FALSE(platform::CreateFolderTree("D:\\a\\file", &error));
  EXPECT_EQ(error, FileError::AlreadyExists);
  EXPECT_FALSE(platform::CreateFolderTree("Q:\\VIDEO\\x", &error));  // drive not configured
  EXPECT_EQ(error, FileError::NotFound);

  EXPECT_EQ(platform::FileSize("D:\\a\\FILE"), 5);
  EXPECT_EQ(platform::FileSize("D:\\a"), -1);
  EXPECT_EQ(platform::FileSize("D:\\a\\missing"), -1);

  EXPECT_FALSE(platform::RemoveFolder("D:\\a", &error));
  EXPECT_EQ(error, FileError::NotEmpty);
  EXPECT_FALSE(platform::DeleteFile("D:\\a", &error));  // a folder is not a file
  EXPECT_TRUE(platform::IsFolder("D:\\a"));
  EXPECT_TRUE(platform::DeleteFile("D:\\a\\file"));
  EXPECT_FALSE(platform::DeleteFile("D:\\a\\file", &error));
  EXPECT_EQ(error, FileError::NotFound);
  EXPECT_TRUE(platform::RemoveFolder("D:\\a"));
  EXPECT_FALSE(platform::Exists("D:\\a"));
}

TEST(Files, CopyAndMoveNeverReplaceUnlessAsked) {
  TempDriveTable drives("CD");
  const std::string d = drives.Root('D');
  WriteText(d + "/src.ini", "new");
  WriteText(d + "/dst.ini", "old");
  FileError error = FileError::None;

  EXPECT_FALSE(platform::CopyFile("D:\\src.ini", "D:\\DST.INI", true, &error));
  EXPECT_EQ(error, FileError::AlreadyExists);
  EXPECT_EQ(ReadText(d + "/dst.ini"), "old");
  EXPECT_TRUE(platform::CopyFile("D:\\src.ini", "D:\\dst.ini", false));
  EXPECT_EQ(ReadText(d + "/dst.ini"), "new");
  EXPECT_TRUE(platform::CopyFile("D:\\src.ini", "D:\\copy.ini", true));
  EXPECT_EQ(ReadText(d + "/copy.ini"), "new");
  EXPECT_FALSE(platform::CopyFile("D:\\missing.ini", "D:\\other.ini", true, &error));
  EXPECT_EQ(error, FileError::NotFound);

  EXPECT_FALSE(platform::MoveFile("D:\\src.ini", "D:\\copy.ini", &error));
  EXPECT_EQ(error, FileError::AlreadyExists);
  EXPECT_TRUE(platform::MoveFile("D:\\src.ini", "D:\\moved.ini"));
  EXPECT_FALSE(platform::Exists("D:\\src.ini"));

  // No temporary file is left behind by any of this.
  EXPECT_EQ(Names(platform::FindFiles("D:\\*")), (Names_t{"copy.ini", "dst.ini", "moved.ini"}));
  EXPECT_EQ(Names(platform::FindFiles("D:\\.*")), Names_t{});
}

TEST(Files, FileReadsWritesSeeksAndTruncates) {
  TempDriveTable drives("CD");
  File file;
  FileError error = FileError::None;
  EXPECT_FALSE(file.Open("D:\\missing.avi", File::Mode::Read, &error));
  EXPECT_EQ(error, FileError::NotFound);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Write("x", 1));
  EXPECT_EQ(file.error(), FileError::NotOpen);

  ASSERT_TRUE(file.Open("D:\\rec.avi", File::Mode::CreateNew));
  ASSERT_TRUE(file.Write("RIFF....AVI ", 12));
  EXPECT_EQ(file.Seek(4, File::Origin::Begin), 4);
  ASSERT_TRUE(file.Write("\x10\0\0\0", 4));
  EXPECT_EQ(file.Tell(), 8);
  EXPECT_EQ(file.Seek(-20, File::Origin::Current), -1);  // before the start: refused
  EXPECT_EQ(file.Tell(), 8);
  EXPECT_EQ(file.Seek(0, File::Origin::End), 12);
  EXPECT_TRUE(file.Flush());
  EXPECT_TRUE(file.Truncate(20));
  EXPECT_EQ(file.Size(), 20);
  EXPECT_EQ(file.Tell(), 12);
  ASSERT_EQ(file.Seek(0, File::Origin::Begin), 0);
  char head[12];
  ASSERT_TRUE(file.ReadExact(head, sizeof(head)));
  EXPECT_EQ(std::string(head, 12), std::string("RIFF\x10\0\0\0AVI ", 12));
  char tail[16];
  EXPECT_EQ(file.Read(tail, sizeof(tail)), 8);
  EXPECT_FALSE(file.ReadExact(tail, 1));  // at the end
  EXPECT_TRUE(file.Close());

  File again;
  EXPECT_FALSE(again.Open("D:\\REC.AVI", File::Mode::CreateNew, &error));
  EXPECT_EQ(error, FileError::AlreadyExists);
  ASSERT_TRUE(again.Open("D:\\REC.AVI", File::Mode::OpenAlways));
  EXPECT_EQ(again.Size(), 20);  // not truncated
  File moved = std::move(again);
  EXPECT_TRUE(moved.IsOpen());
  EXPECT_FALSE(again.IsOpen());
  ASSERT_TRUE(moved.Open("D:\\rec.avi", File::Mode::CreateAlways));
  EXPECT_EQ(moved.Size(), 0);
}

TEST(Files, WriteAtLeavesThePositionAndCountsAgainstTheLimit) {
  TempDriveTable drives("CD");
  File file;
  EXPECT_FALSE(file.WriteAt(0, "x", 1));
  EXPECT_EQ(file.error(), FileError::NotOpen);
  suite::test::WriteLimit limit("D:\head.avi", 30);
  ASSERT_TRUE(file.Open("D:\head.avi", File::Mode::CreateAlways));
  ASSERT_TRUE(file.Write("0123456789abcdef", 16));
  ASSERT_TRUE(file.WriteAt(4, "WXYZ", 4));
  EXPECT_EQ(file.Tell(), 16);  // appending goes on where it was
  ASSERT_TRUE(file.Write("gh", 2));
  EXPECT_FALSE(file.WriteAt(-1, "x", 1));
  // Past the end a positioned write extends the file; the limit cuts it as it cuts Write.
  EXPECT_FALSE(file.WriteAt(20, "0123456789AB", 12));
  EXPECT_EQ(file.error(), FileError::DiskFull);
  EXPECT_EQ(file.Size(), 28);
  ASSERT_EQ(file.Seek(0, File::Origin::Begin), 0);
  char all[28];
  ASSERT_TRUE(file.ReadExact(all, sizeof(all)));
  EXPECT_EQ(std::string(all, 18), "0123WXYZ89abcdefgh");
  EXPECT_EQ(std::string(all + 20, 8), "01234567");
}

TEST(Files, MappedHeadIsTheFilesOwnBytesWithoutMovingThePositionOrUsingTheLimit) {
  TempDriveTable drives("CD");
  File file;
  EXPECT_EQ(file.MapHead(16), nullptr);  // nothing open
  suite::test::WriteLimit limit("D:\\head.avi", 24);
  ASSERT_TRUE(file.Open("D:\\head.avi", File::Mode::CreateAlways));
  ASSERT_TRUE(file.Write("0123456789abcdef", 16));
  EXPECT_EQ(file.MapHead(32), nullptr) << "past the end a store would be lost";
  unsigned char* head = file.MapHead(16);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(file.MapHead(16), head);
  std::memcpy(head + 4, "WXYZ", 4);
  EXPECT_EQ(file.Tell(), 16);

  // Another reader sees the store at once, before any close: it is in the file's pages.
  File reader;
  ASSERT_TRUE(reader.Open("D:\\head.avi", File::Mode::Read));
  char seen[16];
  ASSERT_TRUE(reader.ReadExact(seen, sizeof(seen)));
  EXPECT_EQ(std::string(seen, 16), "0123WXYZ89abcdef");

  // The stores took nothing of the limit: the 8 bytes left still fit, then it is full.
  EXPECT_TRUE(file.Write("ghijklmn", 8));
  EXPECT_FALSE(file.Write("o", 1));

  // A moved file keeps its mapping; the moved-from one no longer owns it.
  File moved(std::move(file));
  EXPECT_TRUE(file.Close());
  std::memcpy(head, "A", 1);
  EXPECT_TRUE(moved.Close());
  EXPECT_EQ(moved.MapHead(16), nullptr);
  std::ifstream in(platform::ToHostPath("D:\\head.avi"), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "A123WXYZ89abcdefghijklmn");
}

TEST(Files, WriteLimitFillsTheDiskAtTheChosenByte) {
  TempDriveTable drives("CD");
  File file;
  {
    suite::test::WriteLimit limit("D:\\full.avi", 100);
    ASSERT_TRUE(file.Open("D:\\full.avi", File::Mode::CreateAlways));
    const std::string block(60, 'a');
    EXPECT_TRUE(file.Write(block.data(), block.size()));
    EXPECT_FALSE(file.Write(block.data(), block.size()));
    EXPECT_EQ(file.error(), FileError::DiskFull);
    EXPECT_EQ(file.Size(), 100);  // the part that fitted was stored
    EXPECT_FALSE(file.Write("b", 1));
    file.Close();
  }
  // Without the limit the same file writes freely.
  ASSERT_TRUE(file.Open("D:\\full.avi", File::Mode::OpenAlways));
  file.Seek(0, File::Origin::End);
  EXPECT_TRUE(file.Write(std::string(200, 'c').data(), 200));
  EXPECT_EQ(file.Size(), 300);
}

}  // namespace
