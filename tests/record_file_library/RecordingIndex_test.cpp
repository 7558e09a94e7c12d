// The recording index: entries, the small-file rule, numbered index rollover and paths
// that must not be indexed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "StordaneTestSupport.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "record_file_library/AviStreamWriter.h"
#include "record_file_library/RecordingIndex.h"

using namespace stordane_test;
using stordane::RecordingIndex;

namespace {

// A file of exactly `bytes` bytes at a Windows-form path.
void MakeFile(const std::string& windows_path, std::size_t bytes) {
  std::ofstream out(HostPath(windows_path), std::ios::binary);
  out << std::string(bytes, 'x');
}

int ProfileInt(const std::string& file, const char* section, const char* key) {
  return platform::GetPrivateProfileInt(section, key, -1, HostPath(file).c_str());
}

}  // namespace

TEST(RecordingIndex, FirstFileOfADateFolderAndTheCallersPathAsKey) {
  TempDrives drives;
  RecordingIndex index;
  RecordingPath('D', "2010_01_05", 1, 10, 10, 10);  // creates the folders in lower case
  // The caller's spelling is kept in the key even where the disk spells it otherwise.
  const std::string path = "D:\\VIDEO\\2010_01_05\\01\\10\\2010-01-05-101010 M101.avi";
  MakeFile(path, 30000);
  index.AddToFileInfo(path, 1800);

  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo.ini", "FileCount", "FileCount"), 1);
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo0.ini", "FileCount", "nCount"), 1);
  EXPECT_NE(ReadText(HostPath("D:\\video\\2010_01_05\\FileInfo0.ini"))
                .find("[FileInfo]\r\nD:\\VIDEO\\2010_01_05\\01\\10\\2010-01-05-101010 M101.avi\\1800=FI\r\n"),
            std::string::npos);

  const std::string second = RecordingPath('D', "2010_01_05", 2, 10, 10, 12);
  MakeFile(second, 25000);
  index.AddToFileInfo(second, 5);
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo0.ini", "FileCount", "nCount"), 2);
  EXPECT_EQ(platform::ProfileKeyNames(HostPath("D:\\video\\2010_01_05\\FileInfo0.ini"), "FileInfo").size(), 2u);
}

TEST(RecordingIndex, SmallFilesAreDeletedWithTheirEmptyFolders) {
  TempDrives drives;
  RecordingIndex index;
  // A neighbour keeps the date folder alive.
  const std::string kept = RecordingPath('D', "2010_01_05", 1, 9, 0, 0);
  MakeFile(kept, 30000);
  index.AddToFileInfo(kept, 100);

  const std::string small = RecordingPath('D', "2010_01_05", 3, 11, 0, 0);
  MakeFile(small, 20480);
  index.AddToFileInfo(small, 100);
  EXPECT_FALSE(FileExists(HostPath(small)));
  EXPECT_FALSE(FileExists(HostPath("D:\\video\\2010_01_05\\03")));
  EXPECT_TRUE(FileExists(HostPath("D:\\video\\2010_01_05\\01\\09")));
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo0.ini", "FileCount", "nCount"), 1);

  const std::string just_enough = RecordingPath('D', "2010_01_05", 3, 11, 10, 0);
  MakeFile(just_enough, 20481);
  index.AddToFileInfo(just_enough, 100);
  EXPECT_TRUE(FileExists(HostPath(just_enough)));
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo0.ini", "FileCount", "nCount"), 2);

  // A missing file counts as too small; the folders above it go as far as they are empty,
  // but never the drive root.
  const std::string missing = RecordingPath('D', "2010_01_09", 4, 12, 0, 0);
  index.AddToFileInfo(missing, 100);
  EXPECT_FALSE(FileExists(HostPath("D:\\video\\2010_01_09")));
  EXPECT_TRUE(FileExists(drives.Root()));
}

TEST(RecordingIndex, FullIndexRollsOverOnlyAtANewTenMinuteSlot) {
  TempDrives drives;
  RecordingIndex index;
  const std::string main_index = "D:\\video\\2010_01_05\\FileInfo.ini";
  const std::string first = "D:\\video\\2010_01_05\\FileInfo0.ini";
  platform::CreateFolderTree("D:\\video\\2010_01_05");
  platform::WritePrivateProfileString("FileCount", "FileCount", "1", main_index.c_str());
  platform::WritePrivateProfileString("FileCount", "nCount", "4999", first.c_str());

  const std::string at_1015 = RecordingPath('D', "2010_01_05", 1, 10, 15, 0);
  MakeFile(at_1015, 30000);
  index.AddToFileInfo(at_1015, 60);
  EXPECT_EQ(ProfileInt(first, "FileCount", "nCount"), 5000);

  // Same ten-minute slot as the last one, even though it starts earlier: stays together.
  const std::string at_1012 = RecordingPath('D', "2010_01_05", 2, 10, 12, 0);
  MakeFile(at_1012, 30000);
  index.AddToFileInfo(at_1012, 60);
  EXPECT_EQ(ProfileInt(first, "FileCount", "nCount"), 5001);
  EXPECT_EQ(ProfileInt(main_index, "FileCount", "FileCount"), 1);
  // Past 5000 entries the count goes on counting while the slot lasts.
  const std::string at_1013 = RecordingPath('D', "2010_01_05", 3, 10, 13, 0);
  MakeFile(at_1013, 30000);
  index.AddToFileInfo(at_1013, 60);
  EXPECT_EQ(ProfileInt(first, "FileCount", "nCount"), 5002);
  EXPECT_EQ(ProfileInt(main_index, "FileCount", "FileCount"), 1);

  const std::string at_1021 = RecordingPath('D', "2010_01_05", 1, 10, 21, 0);
  MakeFile(at_1021, 30000);
  index.AddToFileInfo(at_1021, 60);
  EXPECT_EQ(ProfileInt(main_index, "FileCount", "FileCount"), 2);
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_05\\FileInfo1.ini", "FileCount", "nCount"), 1);
  EXPECT_EQ(ProfileInt(first, "FileCount", "nCount"), 5002);
  EXPECT_NE(ReadText(HostPath("D:\\video\\2010_01_05\\FileInfo1.ini")).find("102100 M101.avi\\60=FI"),
            std::string::npos);
}

TEST(RecordingIndex, PathsWithoutADateFolderAreNotIndexed) {
  TempDrives drives;
  RecordingIndex index;
  index.AddToFileInfo("", 10);
  index.AddToFileInfo("no-backslash.avi", 10);
  // Too shallow for date\channel\hour: no index may appear at a drive root or outside.
  MakeFile("D:\\2010-01-05-101010 M101.avi", 30000);
  index.AddToFileInfo("D:\\2010-01-05-101010 M101.avi", 10);
  EXPECT_TRUE(FileExists(HostPath("D:\\2010-01-05-101010 M101.avi")));
  for (const auto& entry : std::filesystem::directory_iterator(drives.Root())) {
    EXPECT_EQ(entry.path().filename().string().find("FileInfo"), std::string::npos);
  }
  EXPECT_FALSE(FileExists("/FileInfo.ini"));
}

namespace {

// A recording as a capture slot leaves it when it is never closed through the library:
// finished and playable, but not entered. 40 frames at 25 a second play 2 seconds.
void MakeUnenteredRecording(const std::string& path, int frames, int frame_bytes) {
  stordane::AviStreamWriter writer;
  stordane::CaptureSettings settings;
  settings.frame_rate = 25;
  ASSERT_EQ(writer.Create(path, settings), 0u);
  const std::vector<unsigned char> frame = FakeFrame(frame_bytes, 0x33);
  for (int i = 0; i < frames; ++i) writer.WriteFrame(frame.data(), frame_bytes, i == 0 ? 0 : 1);
  writer.Close();
}

std::vector<std::string> Keys(const std::string& index_file) {
  return platform::ProfileKeyNames(HostPath(index_file), "FileInfo");
}

}  // namespace

TEST(RecordingIndex, RecordingsLeftUnenteredAreEnteredLater) {
  TempDrives drives;
  RecordingIndex index;
  // Left behind by an earlier run in channel 1: a recording, one too small to keep, and a
  // stranger's file; in channel 2 another recording.
  const std::string left = RecordingPath('D', "2010_01_05", 1, 9, 0, 0);
  MakeUnenteredRecording(left, 40, 1000);
  const std::string tiny = RecordingPath('D', "2010_01_05", 1, 9, 30, 0);
  MakeUnenteredRecording(tiny, 2, 100);
  const std::string stranger = "D:\\video\\2010_01_05\\01\\09\\notes.avi";
  MakeFile(stranger, 30000);
  const std::string other_channel = RecordingPath('D', "2010_01_05", 2, 9, 0, 0);
  MakeUnenteredRecording(other_channel, 40, 1000);

  // The first close in channel 1 enters what its channel misses, oldest first, before its
  // own file; channel 2 waits for a close of its own.
  const std::string closed = RecordingPath('D', "2010_01_05", 1, 10, 0, 0);
  MakeFile(closed, 30000);
  index.AddToFileInfo(closed, 600);
  const std::string numbered = "D:\\video\\2010_01_05\\FileInfo0.ini";
  EXPECT_EQ(Keys(numbered), (std::vector<std::string>{left + "\\2", closed + "\\600"}));
  EXPECT_EQ(ProfileInt(numbered, "FileCount", "nCount"), 2);
  EXPECT_FALSE(FileExists(HostPath(tiny)));
  EXPECT_TRUE(FileExists(HostPath(stranger)));

  // An entry that cannot be written (its index file is in the way) is entered once the
  // index can be written again, by a close in another folder.
  const std::string missed = RecordingPath('D', "2010_01_06", 1, 8, 0, 0);
  MakeUnenteredRecording(missed, 40, 1000);
  ASSERT_TRUE(platform::CreateFolderTree("D:\\video\\2010_01_06\\FileInfo0.ini"));
  index.AddToFileInfo(missed, 2);
  EXPECT_TRUE(Keys("D:\\video\\2010_01_06\\FileInfo0.ini").empty());
  ASSERT_TRUE(platform::RemoveFolder("D:\\video\\2010_01_06\\FileInfo0.ini"));
  const std::string later = RecordingPath('D', "2010_01_05", 2, 11, 0, 0);
  MakeFile(later, 30000);
  index.AddToFileInfo(later, 60);
  EXPECT_EQ(Keys("D:\\video\\2010_01_06\\FileInfo0.ini"), std::vector<std::string>{missed + "\\2"});
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_06\\FileInfo.ini", "FileCount", "FileCount"), 1);
  // That close was channel 2's first: its leftover went in before it, nothing twice.
  EXPECT_EQ(Keys(numbered),
            (std::vector<std::string>{left + "\\2", closed + "\\600", other_channel + "\\2", later + "\\60"}));

  // A main index lost while its numbered index survives is given back its count.
  ASSERT_TRUE(platform::DeleteFile("D:\\video\\2010_01_06\\FileInfo.ini"));
  EXPECT_TRUE(index.RecoverDateFolder("D:\\video\\2010_01_06"));
  EXPECT_EQ(ProfileInt("D:\\video\\2010_01_06\\FileInfo.ini", "FileCount", "FileCount"), 1);
  EXPECT_EQ(Keys("D:\\video\\2010_01_06\\FileInfo0.ini").size(), 1u);
}
