// A recording drive that fills up while four cameras record onto it through the decoder
// library. The drive is a small memory file system of its own, so it fills up for every writer
// at once, as a real disk does. Every camera's writes fail cleanly while decoding goes on;
// the captures are then stopped on the still full drive, nothing freed, and every recording
// left must play in ffprobe and be in the day's index, or have been deleted as too small to
// keep; nothing crashes and every stop returns.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "decoder_library/Halvane.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TimeText.h"
#include "record_file_library/RecordingIndex.h"
#include "tests/fault/FaultSupport.h"
#include "tests/platform/codecs/TestMedia.h"
#include "tests/support/TempDriveTable.h"

namespace {

constexpr int kCameras = 4;
constexpr int kXvid = 3;
constexpr int kWidth = 352;
constexpr int kHeight = 288;

// Set before main: a process may only make its mounts private while it has one thread.
std::string g_noPrivateMounts;
const bool g_privateMounts = [] { return fault_test::PrivateMounts(&g_noPrivateMounts); }();

std::atomic<int> g_writeFailures[kCameras];

void CountFailure(int code, int value) {
  if (code == DEC_NOTIFY_WRITE_FAILED && value >= 0 && value < kCameras) ++g_writeFailures[value];
}

const test_media::EncodedStream& Stream() {
  static const test_media::EncodedStream stream =
      test_media::Encode("mpeg4", kWidth, kHeight, 50, 10, ('X') | ('V' << 8) | ('I' << 16) | ('D' << 24));
  return stream;
}

// The folder the live client records a window into, as it names it.
std::string CaptureFolder(int camera) {
  const platform::LocalTime now = platform::GetLocalTime();
  char folder[160];
  std::snprintf(folder, sizeof folder, "D:\\VIDEO\\127.0.0.153[SVR8000]\\%04d_%02d_%02d\\chn_%02d\\%02d\\", now.year,
                now.month, now.day, camera + 1, now.hour);
  return folder;
}

// Windows form of a recording's host path below the drive root.
std::string WindowsForm(const std::string& host, const std::string& root) {
  std::string path = "D:" + host.substr(root.size());
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

TEST(DiskFull, FourCapturesFillTheDriveAndLeaveOnlyPlayableIndexedFiles) {
  if (!g_privateMounts) GTEST_SKIP() << "no file system of our own to fill: " << g_noPrivateMounts;
  suite::test::TempDriveTable drives("CD", 'C');
  const std::string root = drives.Root('D');
  std::string why;
  // Room for a few seconds of four CIF recordings, their folders and the room the recorder
  // keeps for the index.
  ASSERT_TRUE(fault_test::MountSmallDisk(root, 6u << 20, &why)) << why;

  // Another program's file that nobody deletes: the drive stays full until the captures stop.
  const std::string other = "D:\\VIDEO\\other.dat";
  ASSERT_TRUE(platform::CreateFolderTree("D:\\VIDEO"));
  ASSERT_TRUE(platform::ReplaceFileContents(other, std::string(256 * 1024, 'o')));

  ASSERT_EQ(DEC_LoadLibrary(), 1);
  int decoders[kCameras];
  for (int camera = 0; camera < kCameras; ++camera) {
    g_writeFailures[camera] = 0;
    decoders[camera] = DEC_CreateVideoDecoder(camera);
    ASSERT_GE(decoders[camera], 0);
    const DecoderFormat format{kWidth, kHeight, kXvid};
    ASSERT_EQ(DEC_SetDecoderFMT(decoders[camera], 0, &format), 1);
    ASSERT_TRUE(platform::CreateFolderTree(CaptureFolder(camera)));
    ASSERT_EQ(DEC_StartCapture(decoders[camera], CaptureFolder(camera).c_str(), 0x102, CountFailure, camera), 1);
  }

  // Each camera's pictures arrive on a thread of its own, as the live client's do, until the
  // drive has refused that camera's writes for a while.
  const auto& stream = Stream();
  std::vector<std::thread> feeders;
  for (int camera = 0; camera < kCameras; ++camera) {
    feeders.emplace_back([&, camera] {
      std::vector<unsigned char> picture(kWidth * kHeight * 3 / 2);
      std::vector<unsigned char> adpcm(256, 0x5A);
      std::vector<short> pcm(1024);
      adpcm[2] = 10;
      adpcm[3] = 0;
      for (int i = 0; i < 4000 && g_writeFailures[camera] < 20; ++i) {
        const auto& frame = stream.frames[static_cast<std::size_t>(i) % stream.frames.size()];
        int length = 0;
        DEC_DecodeData(decoders[camera], frame.data.data(), picture.data(), static_cast<int>(frame.data.size()),
                       &length, frame.key ? 1 : 0, 0);
        DEC_DecodeAudio(decoders[camera], adpcm.data(), pcm.data(), 256, nullptr, 0, 1);
      }
    });
  }
  for (std::thread& feeder : feeders) feeder.join();
  for (int camera = 0; camera < kCameras; ++camera)
    EXPECT_GE(g_writeFailures[camera].load(), 20) << "camera " << camera << " never met the full drive";
  // Full for video: no more than the room kept for the index and a chunk of slack is left.
  platform::DiskSpace space;
  ASSERT_TRUE(platform::GetDiskFreeSpace("D:\\", space));
  EXPECT_LT(space.free_bytes_available, stordane::RecordingIndex::kKeptFreeBytes + (512u << 10));

  // Closing a recording enters it into the index: the room for that must still be there.
  for (int camera = 0; camera < kCameras; ++camera) {
    const int decoder = decoders[camera];
    EXPECT_TRUE(fault_test::ReturnsWithin(std::chrono::seconds(20), [decoder] { DEC_StopCapture(decoder); }))
        << "stopping camera " << camera << " hung on the full drive";
    DEC_DestroyVideoDecoder(decoder);
  }
  DEC_FreeLibrary();

  const std::vector<std::string> files = fault_test::AviFilesBelow(root);
  const std::vector<std::string> keys = fault_test::IndexKeysBelow(root);
  EXPECT_FALSE(files.empty()) << "the recordings made before the drive filled are gone";
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    EXPECT_GT(fault_test::ProbeVideoPackets(file), 0) << "left behind and not playable";
    const std::string windows = WindowsForm(file, root);
    bool indexed = false;
    for (const std::string& key : keys) indexed = indexed || key.rfind(windows + "\\", 0) == 0;
    EXPECT_TRUE(indexed) << "left behind and not in the index";
  }
  // Every index entry names a recording that is still there.
  for (const std::string& key : keys) {
    const std::string path = key.substr(0, key.rfind('\\'));
    EXPECT_TRUE(platform::Exists(path)) << key;
  }
  EXPECT_TRUE(platform::Exists(other));
  fault_test::Unmount(root);
}
