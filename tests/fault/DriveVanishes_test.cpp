// The recording drive vanishes while two cameras record onto it: its folder tree is gone and
// the volume reads as empty. The live client's drive watchdog must move recording to the next
// drive with room, the cameras must go on recording there, and no step of it may hang: not
// the watchdog, not the stops of the captures whose files went with the drive, not the
// decoding threads feeding them. What is left on the new drive plays and is indexed.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoder_library/Halvane.h"
#include "live_client/storage/CRecordDrives.h"
#include "live_client/storage/MDiskManager.h"
#include "live_client/storage/RecordingControl.h"
#include "platform/Files.h"
#include "platform/TimeText.h"
#include "tests/fault/FaultSupport.h"
#include "tests/platform/codecs/TestMedia.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

namespace {

using namespace std::chrono_literals;

constexpr int kCameras = 2;
constexpr int kWidth = 352;
constexpr int kHeight = 288;

std::atomic<int> g_writeFailures{0};
void CountFailure(int code, int) {
  if (code == DEC_NOTIFY_WRITE_FAILED) ++g_writeFailures;
}

// Recording control as the live client does it for manual recordings: every camera records
// into "<drive>VIDEO\<recorder>\<date>\chn_NN\<hour>\" of the current recording drive.
class CaptureRecording : public RecordingControl {
 public:
  CaptureRecording(CRecordDrives& drives, const int (&decoders)[kCameras]) : drives_(drives), decoders_(decoders) {}

  void DiskChange() override {
    StopAll();
    const std::string root = drives_.RecDrive();
    for (int camera = 0; camera < kCameras; ++camera) {
      const std::string folder = Folder(root, camera);
      if (platform::CreateFolderTree(folder) &&
          DEC_StartCapture(decoders_[camera], folder.c_str(), 0x102, CountFailure, camera) == 1) {
        std::lock_guard<std::mutex> guard(lock_);
        started_.push_back(root);
      }
    }
  }
  void DiskNoSpace() override { StopAll(); }
  void DealTimerRec() override {}
  void StopTimerRec() override {}

  std::vector<std::string> Started() {
    std::lock_guard<std::mutex> guard(lock_);
    return started_;
  }
  void StopAll() {
    for (int camera = 0; camera < kCameras; ++camera) DEC_StopCapture(decoders_[camera]);
  }

 private:
  static std::string Folder(const std::string& root, int camera) {
    const platform::LocalTime now = platform::GetLocalTime();
    char folder[160];
    std::snprintf(folder, sizeof folder, "%sVIDEO\\127.0.0.160[SVR8000]\\%04d_%02d_%02d\\chn_%02d\\%02d\\",
                  root.c_str(), now.year, now.month, now.day, camera + 1, now.hour);
    return folder;
  }

  CRecordDrives& drives_;
  const int (&decoders_)[kCameras];
  std::mutex lock_;
  std::vector<std::string> started_;  // Guarded by lock_
};

}  // namespace

TEST(DriveVanishes, WatchdogMovesRecordingToTheNextDriveAndNothingHangs) {
  suite::test::TempDriveTable table("CDE", 'C');
  suite::test::FakeDiskSpace space;
  space.Set('C', 90000, 100000);
  space.Set('D', 5000, 10000);
  space.Set('E', 5000, 10000);

  ASSERT_EQ(DEC_LoadLibrary(), 1);
  int decoders[kCameras];
  for (int camera = 0; camera < kCameras; ++camera) {
    decoders[camera] = DEC_CreateVideoDecoder(camera);
    const DecoderFormat format{kWidth, kHeight, 3};
    ASSERT_EQ(DEC_SetDecoderFMT(decoders[camera], 0, &format), 1);
  }

  MDiskManager disks;
  CKorvelSettings settings;
  std::vector<std::string> diskList;
  std::atomic<int> noDiskSpace{0};
  CRecordDrives drives(disks, settings, diskList, noDiskSpace);
  drives.BuildDiskList();
  CaptureRecording recording(drives, decoders);

  // The cameras' pictures keep coming on their own threads through everything that follows.
  const test_media::EncodedStream stream =
      test_media::Encode("mpeg4", kWidth, kHeight, 40, 10, 'X' | ('V' << 8) | ('I' << 16) | ('D' << 24));
  std::atomic<bool> feeding{true};
  std::atomic<int> fed{0};
  std::vector<std::thread> feeders;
  for (int camera = 0; camera < kCameras; ++camera) {
    feeders.emplace_back([&, camera] {
      std::vector<unsigned char> picture(kWidth * kHeight * 3 / 2);
      for (std::size_t i = 0; feeding; ++i) {
        const auto& frame = stream.frames[i % stream.frames.size()];
        int length = 0;
        DEC_DecodeData(decoders[camera], frame.data.data(), picture.data(), static_cast<int>(frame.data.size()),
                       &length, frame.key ? 1 : 0, 0);
        ++fed;
        std::this_thread::sleep_for(10ms);
      }
    });
  }

  // The first watchdog step chooses D and recording starts there.
  EXPECT_TRUE(fault_test::ReturnsWithin(10s, [&] { drives.DiskNospace(recording); }));
  ASSERT_EQ(drives.RecDrive(), "D:\\");
  ASSERT_EQ(recording.Started(), (std::vector<std::string>(kCameras, "D:\\")));
  std::this_thread::sleep_for(1500ms);

  // D vanishes: everything on it is gone and it reads as an empty volume.
  std::filesystem::remove_all(table.Root('D'));
  space.Set('D', 0, 0);
  const int fedBefore = fed;
  EXPECT_TRUE(fault_test::ReturnsWithin(20s, [&] { drives.DiskNospace(recording); }))
      << "the watchdog step hung on the vanished drive";
  EXPECT_EQ(drives.RecDrive(), "E:\\");
  EXPECT_EQ(noDiskSpace.load(), 0);
  std::vector<std::string> expected(kCameras, "D:\\");
  expected.insert(expected.end(), kCameras, "E:\\");
  EXPECT_EQ(recording.Started(), expected) << "recording did not move to E";
  std::this_thread::sleep_for(1500ms);
  EXPECT_GT(fed.load(), fedBefore + 50) << "decoding stalled while the drive was switched";

  // A drive that cannot even be asked: the step still returns at once.
  space.Fail('E');
  EXPECT_TRUE(fault_test::ReturnsWithin(10s, [&] { drives.DiskNospace(recording); }));

  feeding = false;
  for (std::thread& feeder : feeders) feeder.join();
  EXPECT_TRUE(fault_test::ReturnsWithin(20s, [&] { recording.StopAll(); })) << "stopping the captures hung";
  for (int decoder : decoders) DEC_DestroyVideoDecoder(decoder);
  DEC_FreeLibrary();

  // What was recorded on E plays and is indexed; nothing came back on D.
  const std::vector<std::string> files = fault_test::AviFilesBelow(table.Root('E'));
  EXPECT_EQ(files.size(), static_cast<std::size_t>(kCameras));
  const std::vector<std::string> keys = fault_test::IndexKeysBelow(table.Root('E'));
  EXPECT_EQ(keys.size(), files.size());
  for (const std::string& file : files) EXPECT_GT(fault_test::ProbeVideoPackets(file), 10) << file;
  EXPECT_TRUE(fault_test::AviFilesBelow(table.Root('D')).empty());
}
