// Recordings cut short: a recording process killed with SIGKILL, and a disk that fills up
// while recording. In both cases the file left behind must open and hold what was written
// up to its last seconds.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "AviTestReader.h"
#include "StordaneTestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "record_file_library/RecordingIndex.h"
#include "record_file_library/Stordane.h"

using namespace stordane_test;

namespace {

constexpr int kSlot = 7;
constexpr int kFps = 15;

// A D1 stream at real-time pace with audio: 15 frames and about 16 ADPCM blocks a second.
// After every accepted frame the count of accepted frames goes down `report_fd`.
[[noreturn]] void RecordUntilKilled(const std::string& path, int report_fd) {
  OxSetCapSize(kSlot, 704, 576);
  OxSetCapFrmRate(kSlot, kFps);
  if (OxCreateAVIFile(kSlot, path.c_str()) != 0) ::_exit(2);
  const std::vector<unsigned char> key = FakeFrame(40000, 0x11);
  const std::vector<unsigned char> delta = FakeFrame(12001, 0x22);
  const std::vector<unsigned char> block = AdpcmBlock(256);
  const auto start = std::chrono::steady_clock::now();
  int accepted = 0;
  int blocks = 0;
  for (int frame = 0;; ++frame) {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(frame * 1000 / kFps));
    const bool is_key = frame % kFps == 0;
    const auto& data = is_key ? key : delta;
    if (OxWriteFrameToAVIFile(kSlot, data.data(), static_cast<int>(data.size()), is_key ? 0 : 1) == 0) ++accepted;
    // 505 samples at 8000 Hz per block.
    const int due = static_cast<int>((frame + 1) * 1000.0 / kFps / 63.125);
    for (; blocks < due; ++blocks) OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5);
    if (::write(report_fd, &accepted, sizeof(accepted)) != sizeof(accepted)) ::_exit(3);
  }
}

}  // namespace

TEST(CrashSafety, RecordingKilledMidwayStaysPlayable) {
  TempDrives drives;
  const std::string path = RecordingPath('D', "2011_02_03", 1, 14, 0, 0);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    RecordUntilKilled(path, pipe_fds[1]);
  }
  ::close(pipe_fds[1]);

  int accepted = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3700);
  while (std::chrono::steady_clock::now() < deadline) {
    int count = 0;
    if (::read(pipe_fds[0], &count, sizeof(count)) != sizeof(count)) break;
    accepted = count;
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(pipe_fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_GT(accepted, 2 * kFps);

  // Our reader: the header describes only complete chunks, and no more of them than exist.
  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  EXPECT_FALSE(file.has_idx1);
  EXPECT_LE(file.riff_size + 8ull, file.file_bytes);
  ASSERT_EQ(file.streams.size(), 2u);
  const std::size_t video_chunks = file.StreamChunks(0).size();
  EXPECT_EQ(file.main.dwTotalFrames, video_chunks);
  EXPECT_EQ(file.streams[0].header.dwLength, video_chunks);
  EXPECT_GE(static_cast<int>(video_chunks), accepted - 2 * kFps);
  EXPECT_GE(file.StreamChunks(1).size(), 2u);

  if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
  const auto streams = ProbeStreams(HostPath(path));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_tag_string"), "XVID");
  EXPECT_GE(std::stoi(streams[0].at("nb_read_packets")), accepted - 2 * kFps);
  EXPECT_GE(std::stoi(streams[1].at("nb_read_packets")), 2 * 16);
}

TEST(CrashSafety, FullDiskFailsWritesAndKeepsWhatWasWritten) {
  TempDrives drives;
  const std::string path = RecordingPath('D', "2011_02_03", 2, 15, 0, 0);
  // The disk fills after about 3 MB.
  platform::SetWriteLimitForTesting(HostPath(path), 3 * 1024 * 1024 + 777);
  OxSetCapSize(kSlot, 704, 576);
  OxSetCapFrmRate(kSlot, kFps);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  const std::vector<unsigned char> frame = FakeFrame(20001, 0x5C);
  const std::vector<unsigned char> block = AdpcmBlock(256);
  int accepted = 0;
  unsigned failure = 0;
  for (int i = 0; i < 400 && failure == 0; ++i) {
    failure = OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), i % kFps == 0 ? 0 : 1);
    if (failure == 0) ++accepted;
    if (failure == 0 && i % 2 == 0) failure = OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5);
  }
  EXPECT_EQ(failure, OX_ERR_WRITE);
  // Further writes keep failing cleanly; close reports that finishing failed.
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), 1), OX_ERR_WRITE);
  EXPECT_EQ(OxCloseAVIFile(kSlot), OX_ERR_CLOSE);
  platform::SetWriteLimitForTesting(HostPath(path), -1);

  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  EXPECT_LE(file.riff_size + 8ull, file.file_bytes);
  const std::size_t video_chunks = file.StreamChunks(0).size();
  EXPECT_GE(static_cast<int>(video_chunks), accepted - 2 * kFps);
  EXPECT_LE(static_cast<int>(video_chunks), accepted);
  for (const AviTestChunk* chunk : file.StreamChunks(0)) ASSERT_EQ(chunk->data, frame);
  // The file was too full to be indexed only if it was small; this one is entered.
  EXPECT_NE(ReadText(HostPath("D:\\video\\2011_02_03\\FileInfo0.ini")).find("150000 M102.avi"), std::string::npos);

  // A disk too full for the header refuses the file and leaves nothing behind.
  const std::string no_room = RecordingPath('D', "2011_02_03", 3, 15, 0, 0);
  platform::SetWriteLimitForTesting(HostPath(no_room), 100);
  EXPECT_EQ(OxCreateAVIFile(kSlot, no_room.c_str()), OX_ERR_OPEN);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), 0), OX_ERR_WRITE);
  EXPECT_EQ(OxCloseAVIFile(kSlot), 0u);
  EXPECT_FALSE(FileExists(HostPath(no_room)));
  platform::SetWriteLimitForTesting(HostPath(no_room), -1);

  if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
  const auto streams = ProbeStreams(HostPath(path));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_GE(std::stoi(streams[0].at("nb_read_packets")), accepted - 2 * kFps);
}

TEST(CrashSafety, ProcessEndFinishesOpenFilesWithoutIndexingThem) {
  TempDrives drives;
  const std::string path = RecordingPath('D', "2011_02_04", 1, 16, 0, 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OxSetCapFrmRate(kSlot, kFps);
    if (OxCreateAVIFile(kSlot, path.c_str()) != 0) ::_exit(2);
    const std::vector<unsigned char> frame = FakeFrame(30000, 0x3C);
    for (int i = 0; i < 20; ++i) OxWriteFrameToAVIFile(kSlot, frame.data(), 30000, i == 0 ? 0 : 1);
    std::exit(0);  // unloads the library with the file still open
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  EXPECT_TRUE(file.has_idx1);
  EXPECT_EQ(file.idx1.size(), 20u);
  EXPECT_EQ(file.main.dwTotalFrames, 20u);
  EXPECT_FALSE(FileExists(HostPath("D:\\video\\2011_02_04\\FileInfo.ini")));
}

TEST(CrashSafety, DriveKeepsRoomToIndexWhatIsRecordedThere) {
  TempDrives drives;
  constexpr std::uint64_t kKept = stordane::RecordingIndex::kKeptFreeBytes;
  std::atomic<std::uint64_t> free_bytes{64ull << 20};
  platform::SetDiskSpaceProvider([&free_bytes](const std::string&, platform::DiskSpace& space) {
    space.free_bytes_available = free_bytes.load();
    space.total_free_bytes = space.free_bytes_available;
    space.total_bytes = 1ull << 30;
    return true;
  });
  const std::string path = RecordingPath('D', "2011_02_05", 1, 9, 0, 0);
  OxSetCapFrmRate(kSlot, kFps);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  const std::vector<unsigned char> frame = FakeFrame(20001, 0x6D);
  int accepted = 0;
  for (int i = 0; i < 40; ++i) {
    if (OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), i % kFps == 0 ? 0 : 1) == 0) {
      ++accepted;
    }
  }
  ASSERT_EQ(accepted, 40);

  // The drive is down to that room and a few bytes: frames and new files are refused as on a
  // full disk, and nothing of them reaches the drive.
  free_bytes = kKept + 1500;
  unsigned failure = 0;
  for (int i = 0; i < 60 && failure == 0; ++i) {
    failure = OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), 1);
    if (failure == 0) ++accepted;
  }
  EXPECT_EQ(failure, OX_ERR_WRITE);
  const std::string refused = RecordingPath('D', "2011_02_05", 2, 9, 0, 0);
  EXPECT_EQ(OxCreateAVIFile(kSlot + 1, refused.c_str()), OX_ERR_OPEN);
  EXPECT_FALSE(FileExists(HostPath(refused)));

  // The close still has its room: the file gets its idx1 and its index entry.
  EXPECT_EQ(OxCloseAVIFile(kSlot), 0u);
  platform::SetDiskSpaceProvider({});
  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  EXPECT_TRUE(file.has_idx1);
  const int video_chunks = static_cast<int>(file.StreamChunks(0).size());
  EXPECT_GE(video_chunks, accepted - 2 * kFps);
  EXPECT_LE(video_chunks, accepted);
  EXPECT_NE(ReadText(HostPath("D:\\video\\2011_02_05\\FileInfo0.ini")).find("090000 M101.avi"), std::string::npos);
}

TEST(CrashSafety, FreeSpaceIsAskedSparinglyButADriveFilledByOthersIsNoticed) {
  TempDrives drives;
  constexpr std::uint64_t kKept = stordane::RecordingIndex::kKeptFreeBytes;
  std::atomic<std::uint64_t> free_bytes{1ull << 40};
  std::atomic<int> queries{0};
  platform::SetDiskSpaceProvider([&](const std::string&, platform::DiskSpace& space) {
    ++queries;
    space.free_bytes_available = free_bytes.load();
    space.total_free_bytes = space.free_bytes_available;
    space.total_bytes = 2ull << 40;
    return true;
  });
  const std::string path = RecordingPath('D', "2011_02_06", 1, 9, 0, 0);
  OxSetCapFrmRate(kSlot, kFps);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  const std::vector<unsigned char> frame = FakeFrame(20001, 0x6D);
  // About 8 MiB: some thirty writes of the buffer and a header rewrite every two seconds,
  // but far from the kept room the drive is asked only every few MiB.
  int accepted = 0;
  for (int i = 0; i < 400; ++i)
    if (OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), i % kFps == 0 ? 0 : 1) == 0)
      ++accepted;
  ASSERT_EQ(accepted, 400);
  EXPECT_GE(queries.load(), 2);
  EXPECT_LE(queries.load(), 6);

  // Other recordings fill the drive down to its kept room: this one is refused within a few
  // MiB, and what it wrote before stays whole.
  free_bytes = kKept + 1500;
  unsigned failure = 0;
  for (int i = 0; i < 300 && failure == 0; ++i) {
    failure = OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), 1);
    if (failure == 0) ++accepted;
  }
  EXPECT_EQ(failure, OX_ERR_WRITE);
  // Too full now even for the idx1 of so many chunks: the file is finished without it.
  OxCloseAVIFile(kSlot);
  platform::SetDiskSpaceProvider({});
  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  const int video_chunks = static_cast<int>(file.StreamChunks(0).size());
  EXPECT_GE(video_chunks, 400);
  EXPECT_LE(video_chunks, accepted);
}
