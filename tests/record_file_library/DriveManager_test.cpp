// The drive-manager worker through the library's C interface, on prepared drive trees with
// injected free space: deletion of the oldest hours with the index kept in step, removal of
// unindexed date folders, suspension and drive switching with their messages.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "StordaneTestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "record_file_library/Stordane.h"

using namespace stordane_test;

namespace {

std::mutex g_messages_lock;
std::vector<unsigned> g_messages;           // Guarded by g_messages_lock
std::atomic<unsigned> g_create_while_called{0};

void OnDriverMessage(unsigned message, unsigned, long) {
  {
    std::lock_guard<std::mutex> guard(g_messages_lock);
    g_messages.push_back(message);
  }
  if (message == OX_MSG_NO_SPACE) {
    // Recording is refused while suspended.
    g_create_while_called = OxCreateAVIFile(9, "D:\\video\\refused.avi");
  }
  // A client may stop the worker from its own callback.
  if (message == OX_MSG_DRIVER_SWITCH) OxStopDealDrivers();
}

std::vector<unsigned> Messages() {
  std::lock_guard<std::mutex> guard(g_messages_lock);
  return g_messages;
}

// An indexed recording of the given start time, entered as the library would.
std::string IndexedFile(char drive, const std::string& date, int channel, int hour, int minute) {
  const std::string path = RecordingPath(drive, date, channel, hour, minute, 0);
  std::ofstream(HostPath(path), std::ios::binary) << std::string(30000, 'v');
  const std::string folder = std::string(1, drive) + ":\\video\\" + date;
  platform::WritePrivateProfileString("FileCount", "FileCount", "1", (folder + "\\FileInfo.ini").c_str());
  const std::string numbered = folder + "\\FileInfo0.ini";
  const int count = platform::GetPrivateProfileInt("FileCount", "nCount", 0, numbered.c_str());
  platform::WritePrivateProfileString("FileCount", "nCount", std::to_string(count + 1).c_str(), numbered.c_str());
  platform::WritePrivateProfileString("FileInfo", (path + "\\600").c_str(), "FI", numbered.c_str());
  return path;
}

class DriveManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drives_ = std::make_unique<TempDrives>(2);
    ini_ = drives_->Root(0) + "/../Stordane.ini";
    ::setenv("STORDANE_DRIVES_INI", ini_.c_str(), 1);
    std::lock_guard<std::mutex> guard(g_messages_lock);
    g_messages.clear();
  }
  void TearDown() override {
    OxStopDealDrivers();
    OxRegDealDriverMsgCallBack(nullptr);
    platform::SetDiskSpaceProvider({});
    ::unsetenv("STORDANE_DRIVES_INI");
    drives_.reset();
  }

  void Configure(const char* drives, int df_hours) {
    platform::WritePrivateProfileString("DealDrivers", "Drives", drives, ini_.c_str());
    platform::WritePrivateProfileString("DealDrivers", "DFHours", std::to_string(df_hours).c_str(), ini_.c_str());
    platform::WritePrivateProfileString("DealDrivers", "PassIntervalMs", "30", ini_.c_str());
  }

  // Free space in MB per drive root; `low_until_gone` makes drive D report 1 MB while that
  // file exists and 1000 MB after.
  void FreeSpace(std::uint64_t d_mb, std::uint64_t e_mb, std::string low_until_gone = "") {
    const std::string d_root = drives_->Root(0);
    platform::SetDiskSpaceProvider([=](const std::string& root, platform::DiskSpace& space) {
      std::uint64_t mb = root == d_root ? d_mb : e_mb;
      if (root == d_root && !low_until_gone.empty()) mb = FileExists(low_until_gone) ? 1 : 1000;
      space.free_bytes_available = mb << 20;
      space.total_free_bytes = space.free_bytes_available;
      space.total_bytes = 2000ull << 20;
      return true;
    });
  }

  template <typename Predicate>
  static bool WaitFor(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }

  std::unique_ptr<TempDrives> drives_;
  std::string ini_;
};

}  // namespace

TEST_F(DriveManagerTest, DeletionStepRemovesOldestHoursAndKeepsTheIndexInStep) {
  const std::string at_08 = IndexedFile('D', "2010_01_05", 1, 8, 0);
  const std::string at_09 = IndexedFile('D', "2010_01_05", 2, 9, 30);
  const std::string at_10 = IndexedFile('D', "2010_01_05", 1, 10, 0);
  const std::string next_day = IndexedFile('D', "2010_01_06", 1, 7, 0);
  // A date folder without an index, and a folder that is no date folder.
  const std::string orphan = RecordingPath('D', "2010_01_04", 1, 8, 0, 0);
  std::ofstream(HostPath(orphan)) << "x";
  platform::CreateFolderTree("D:\\video\\10.0.0.5[SVR8000]\\2010_01_04");

  Configure("D", 2);
  FreeSpace(0, 0, HostPath(at_09));
  OxRegDealDriverMsgCallBack(OnDriverMessage);
  ASSERT_EQ(OxStartDealDrivers(), 0u);
  ASSERT_TRUE(WaitFor([&] { return !FileExists(HostPath(at_09)); }));
  // The pass ends once the space is back and lifts the suspension it set.
  ASSERT_TRUE(WaitFor([&] {
    return OxCreateAVIFile(9, RecordingPath('D', "2010_01_07", 1, 1, 0, 0).c_str()) == 0;
  }));
  OxCloseAVIFile(9);
  ASSERT_EQ(OxStopDealDrivers(), 0u);

  EXPECT_FALSE(FileExists(HostPath(at_08)));
  EXPECT_TRUE(FileExists(HostPath(at_10)));
  EXPECT_TRUE(FileExists(HostPath(next_day)));
  EXPECT_FALSE(FileExists(HostPath("D:\\video\\2010_01_04")));
  EXPECT_TRUE(FileExists(HostPath("D:\\video\\10.0.0.5[SVR8000]\\2010_01_04")));

  const std::string numbered = HostPath("D:\\video\\2010_01_05\\FileInfo0.ini");
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "nCount", -1, numbered.c_str()), 1);
  const auto keys = platform::ProfileKeyNames(numbered, "FileInfo");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0], at_10 + "\\600");

  const auto messages = Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], static_cast<unsigned>(OX_MSG_NO_SPACE));
  EXPECT_EQ(g_create_while_called.load(), OX_ERR_SUSPENDED);
}

TEST_F(DriveManagerTest, WholeDateDeletedOrDriveSwitched) {
  // Everything of the oldest date falls in the window: its indexes and folders go.
  const std::string at_08 = IndexedFile('D', "2010_01_05", 1, 8, 0);
  const std::string at_09 = IndexedFile('D', "2010_01_05", 3, 9, 59);
  const std::string next_day = IndexedFile('D', "2010_01_06", 1, 8, 0);
  Configure("D", 4);
  FreeSpace(0, 0, HostPath(at_09));
  ASSERT_EQ(OxStartDealDrivers(), 0u);
  ASSERT_TRUE(WaitFor([&] { return !FileExists(HostPath("D:\\video\\2010_01_05")); }));
  ASSERT_EQ(OxStopDealDrivers(), 0u);
  EXPECT_TRUE(FileExists(HostPath(next_day)));
  EXPECT_TRUE(Messages().empty());  // no callback registered: nothing suspended, nothing sent

  // Low space on D with room on E: the worker switches instead of deleting.
  Configure("DE", 4);
  FreeSpace(1, 500);
  OxRegDealDriverMsgCallBack(OnDriverMessage);
  ASSERT_EQ(OxStartDealDrivers(), 0u);
  ASSERT_TRUE(WaitFor([] { return !Messages().empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(OxStopDealDrivers(), 0u);
  // Stopped from its callback: exactly one switch, no further pass.
  EXPECT_EQ(Messages(), std::vector<unsigned>{OX_MSG_DRIVER_SWITCH});
  EXPECT_TRUE(FileExists(HostPath(next_day)));
}

// Also the case of a date folder without any main index: its recordings are entered
// rather than deleted with the folder.
TEST_F(DriveManagerTest, DamagedOrMissingMainIndexNeitherStallsNorLosesRecordings) {
  // The oldest date's main index claims 2^31-1 numbered indexes; only FileInfo0.ini is there.
  const std::string at_08 = IndexedFile('D', "2010_01_05", 1, 8, 0);
  platform::WritePrivateProfileString("FileCount", "FileCount", "2147483647",
                                      "D:\\video\\2010_01_05\\FileInfo.ini");
  // A later date whose recording was never entered (its recorder ended without a close) and
  // so has no main index at all.
  const std::string unentered = RecordingPath('D', "2010_01_06", 1, 7, 0, 0);
  OxSetCapFrmRate(9, 25);
  ASSERT_EQ(OxCreateAVIFile(9, unentered.c_str()), 0u);
  const std::vector<unsigned char> frame = FakeFrame(1000, 0x44);
  for (int i = 0; i < 40; ++i) OxWriteFrameToAVIFile(9, frame.data(), 1000, i == 0 ? 0 : 1);
  // Creating the next file closes this one without entering it; the next one is too small
  // to keep and goes at its close.
  ASSERT_EQ(OxCreateAVIFile(9, RecordingPath('E', "2010_01_06", 1, 7, 0, 0).c_str()), 0u);
  OxCloseAVIFile(9);
  ASSERT_FALSE(FileExists(HostPath("D:\\video\\2010_01_06\\FileInfo.ini")));

  Configure("D", 2);
  FreeSpace(0, 0, HostPath(at_08));
  ASSERT_EQ(OxStartDealDrivers(), 0u);
  // Deleting the last entry of FileInfo0.ini makes the worker look for any other numbered
  // index before it drops the main one: a bounded look, so the pass ends promptly.
  const bool finished = WaitFor([] { return !FileExists(HostPath("D:\\video\\2010_01_05")); });
  if (!finished) {
    // A stalled worker cannot be stopped; end here rather than hang in the stop.
    ADD_FAILURE() << "the drive worker stalled on the damaged FileCount";
    std::fflush(stdout);
    std::_Exit(1);
  }
  ASSERT_EQ(OxStopDealDrivers(), 0u);
  EXPECT_FALSE(FileExists(HostPath(at_08)));

  // The scan entered the unentered recording instead of deleting its date folder.
  EXPECT_TRUE(FileExists(HostPath(unentered)));
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "FileCount", 0,
                                           HostPath("D:\\video\\2010_01_06\\FileInfo.ini").c_str()),
            1);
  EXPECT_EQ(platform::ProfileKeyNames(HostPath("D:\\video\\2010_01_06\\FileInfo0.ini"), "FileInfo"),
            std::vector<std::string>{unentered + "\\2"});
}

TEST_F(DriveManagerTest, DamagedEntryCountKeepsTheEntriesLeft) {
  const std::string at_08 = IndexedFile('D', "2010_01_05", 1, 8, 0);
  const std::string at_10 = IndexedFile('D', "2010_01_05", 2, 10, 0);
  const std::string numbered = "D:\\video\\2010_01_05\\FileInfo0.ini";
  platform::WritePrivateProfileString("FileCount", "nCount", "-1", numbered.c_str());
  Configure("D", 2);
  FreeSpace(0, 0, HostPath(at_08));
  ASSERT_EQ(OxStartDealDrivers(), 0u);
  ASSERT_TRUE(WaitFor([&] { return !FileExists(HostPath(at_08)); }));
  ASSERT_EQ(OxStopDealDrivers(), 0u);
  // Only the 08:00 recording went; the index still names the one kept, with its true count.
  EXPECT_TRUE(FileExists(HostPath(at_10)));
  EXPECT_EQ(platform::ProfileKeyNames(HostPath(numbered), "FileInfo"), std::vector<std::string>{at_10 + "\\600"});
  EXPECT_EQ(platform::GetPrivateProfileInt("FileCount", "nCount", 0, HostPath(numbered).c_str()), 1);
  EXPECT_TRUE(FileExists(HostPath("D:\\video\\2010_01_05\\FileInfo.ini")));
}
