#include "live_client/storage/CRecordDrives.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "live_client/storage/MDiskManager.h"
#include "platform/Paths.h"
#include "tests/live_client/storage/RecordingFake.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

using suite::test::FakeDiskSpace;
using suite::test::RecordingFake;
using suite::test::TempDriveTable;

namespace {

// The dialog's drive members, the drive model over them and a recording fake.
struct DriveRig {
  explicit DriveRig(const std::string& letters = "CDEF", char system = 'C')
      : table(letters, system) {}

  // Sizes must be set before the manager is made: it reads them at once.
  void Start() {
    disks = std::make_unique<MDiskManager>();
    drives = std::make_unique<CRecordDrives>(*disks, settings, diskList, noDiskSpace);
    recording = std::make_unique<RecordingFake>(noDiskSpace, drives.get());
    drives->BuildDiskList();
  }
  void Tick() { drives->DiskNospace(*recording); }

  TempDriveTable table;
  FakeDiskSpace space;
  CKorvelSettings settings;
  std::vector<std::string> diskList;
  std::atomic<int> noDiskSpace{0};
  std::unique_ptr<MDiskManager> disks;
  std::unique_ptr<CRecordDrives> drives;
  std::unique_ptr<RecordingFake> recording;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST(MDiskManager, ListsFixedDrivesAndAnswersTheirSpaceByRoot) {
  TempDriveTable table("CDE", 'C');
  FakeDiskSpace space;
  space.Set('C', 5000, 20000);
  space.Set('D', 1234, 4096);
  // E cannot be queried when the list is made: it keeps its first values.
  MDiskManager disks;
  ASSERT_EQ(disks.Count(), 3);
  EXPECT_EQ(disks.DiskAt(0)->Root(), "C:\\");
  EXPECT_EQ(disks.DiskAt(2)->Root(), "E:\\");
  EXPECT_EQ(disks.DiskAt(2)->TotalMB(), 1);
  EXPECT_EQ(disks.DiskAt(2)->FreeMB(), 0);

  // The system drive is listed but never offered for recording.
  EXPECT_EQ(disks.RootAt(0), "");
  EXPECT_EQ(disks.RootAt(1), "D:\\");
  EXPECT_EQ(disks.RootAt(3), "");
  EXPECT_EQ(disks.RootAt(-1), "");

  EXPECT_EQ(disks.FreeSpaceMB("d:\\"), 1234);
  EXPECT_EQ(disks.TotalSpaceMB("D:\\"), 4096);
  EXPECT_EQ(disks.FreeSpaceMB(""), -1);
  EXPECT_EQ(disks.FreeSpaceMB("Q:\\"), -1);
  EXPECT_EQ(disks.TotalSpaceMB("Q:\\"), -1);

  // Every question re-reads the drive; one that stops answering keeps its last value.
  space.Set('D', 900, 4096);
  EXPECT_EQ(disks.FreeSpaceMB("D:\\"), 900);
  space.Fail('D');
  EXPECT_EQ(disks.FreeSpaceMB("D:\\"), 900);
  space.Set('E', 77, 100);
  EXPECT_EQ(disks.FreeSpaceMB("E:\\"), 77);
  EXPECT_EQ(disks.TotalSpaceMB("E:\\"), 100);
}

TEST(MDiskManager, CountsTheVolumesFreeSpaceInWholeMiBWithoutWrapping) {
  TempDriveTable table("CD", 'C');
  // The volume has more free space than this user may use; the volume's figure counts.
  const std::uint64_t huge = std::uint64_t{1} << 52;  // 4 PiB
  auto previous = platform::SetDiskSpaceProvider(
      [&](const std::string& root, platform::DiskSpace& space) {
        if (root == table.Root('D')) {
          space.free_bytes_available = 100u << 20;
          space.total_free_bytes = (300u << 20) + 12345;
          space.total_bytes = 1000u << 20;
        } else {
          space.free_bytes_available = space.total_free_bytes = space.total_bytes = huge;
        }
        return true;
      });
  MDiskManager disks;
  EXPECT_EQ(disks.FreeSpaceMB("D:\\"), 300);
  EXPECT_EQ(disks.TotalSpaceMB("D:\\"), 1000);
  EXPECT_GT(disks.FreeSpaceMB("C:\\"), 0) << "a 4 PiB drive must not read as full";
  platform::SetDiskSpaceProvider(previous);
}

TEST(CRecordDrives, BuildDiskListAllowsEveryDriveButTheSystemDrive) {
  DriveRig rig("DCEF", 'C');
  rig.settings.m_nRecDriveMask = 0x40;
  rig.Start();
  EXPECT_EQ(rig.diskList, (std::vector<std::string>{"D:\\", "E:\\", "F:\\"}));
  EXPECT_EQ(rig.settings.m_nRecDriveMask, 0x7);

  DriveRig only("C", 'C');
  only.Start();
  EXPECT_TRUE(only.diskList.empty());
  EXPECT_EQ(only.settings.m_nRecDriveMask, 0);
}

TEST(CRecordDrives, FirstTickChoosesTheFirstDriveWithMoreThanTheMargin) {
  DriveRig rig;
  rig.space.Set('C', 90000, 100000);
  rig.space.Set('D', 650, 10000);   // not more than 600 + 100
  rig.space.Set('E', 700, 10000);   // exactly the margin: still not chosen
  rig.space.Set('F', 701, 10000);
  rig.Start();
  ASSERT_EQ(rig.settings.m_strRecDrive, "");
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskChange F:\\"}));
  EXPECT_EQ(rig.drives->RecDrive(), "F:\\");
  EXPECT_EQ(rig.noDiskSpace.load(), 0);

  // A drive between the minimum and the margin is kept; nothing happens.
  rig.recording->Clear();
  rig.space.Set('F', 650, 10000);
  rig.Tick();
  rig.space.Set('F', 600, 10000);
  rig.Tick();
  EXPECT_TRUE(rig.recording->Calls().empty());
  EXPECT_EQ(rig.drives->RecDrive(), "F:\\");
}

TEST(CRecordDrives, LowDriveMovesToTheFirstAllowedDriveFromTheHeadOfTheList) {
  DriveRig rig;
  rig.space.Set('C', 90000, 100000);
  rig.space.Set('D', 599, 10000);
  rig.space.Set('E', 800, 10000);
  rig.space.Set('F', 800, 10000);
  rig.Start();
  rig.settings.m_nRecDriveMask = 0x5;  // D and F allowed, E not
  rig.settings.m_strRecDrive = "D:\\";
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskChange F:\\"}));

  // F falls low while D has recovered: the search starts at the head again, so D is chosen.
  rig.recording->Clear();
  rig.space.Set('F', 100, 10000);
  rig.space.Set('D', 5000, 10000);
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskChange D:\\"}));

  // A current drive that is no longer a fixed drive reads -1 and is left as well.
  rig.recording->Clear();
  rig.drives->SetRecDrive("X:\\");
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskChange D:\\"}));
}

TEST(CRecordDrives, NoRoomAnywhereSuspendsOnceAndResumesWithTheMargin) {
  DriveRig rig;
  rig.space.Set('C', 90000, 100000);
  rig.space.Set('D', 2000, 10000);
  rig.space.Set('E', 300, 10000);
  rig.space.Set('F', 300, 10000);
  rig.Start();
  rig.Tick();
  ASSERT_EQ(rig.drives->RecDrive(), "D:\\");
  rig.recording->Clear();

  rig.space.Set('D', 500, 10000);
  rig.Tick();
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskNoSpace"}));
  EXPECT_EQ(rig.noDiskSpace.load(), 1);
  RecordDriveStatus status = rig.drives->Status("Free:");
  EXPECT_TRUE(status.alert);
  EXPECT_EQ(status.text, "D:\\VIDEO(Free:500M)");
  EXPECT_EQ(status.usedPercent, 95);

  // Back above the minimum but inside the margin: still suspended.
  rig.space.Set('D', 650, 10000);
  rig.Tick();
  EXPECT_EQ(rig.noDiskSpace.load(), 1);

  // The current drive frees up: the flag clears without a drive change.
  rig.recording->Clear();
  rig.space.Set('D', 701, 10000);
  rig.Tick();
  EXPECT_EQ(rig.noDiskSpace.load(), 0);
  EXPECT_TRUE(rig.recording->Calls().empty());
  EXPECT_FALSE(rig.drives->Status("Free:").alert);

  // Suspended again, then another drive gains room: recording moves there.
  rig.space.Set('D', 100, 10000);
  rig.Tick();
  ASSERT_EQ(rig.noDiskSpace.load(), 1);
  rig.recording->Clear();
  rig.space.Set('F', 5000, 10000);
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskChange F:\\"}));
  EXPECT_EQ(rig.noDiskSpace.load(), 0);
}

TEST(CRecordDrives, OnlyTheSystemDriveNeverChoosesADrive) {
  DriveRig rig("C", 'C');
  rig.space.Set('C', 90000, 100000);
  rig.Start();
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskNoSpace"}));
  EXPECT_EQ(rig.drives->RecDrive(), "");
  RecordDriveStatus status = rig.drives->Status("Free:");
  // "All disk space full" in code page 936, in red.
  EXPECT_EQ(status.text, "\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xC2\xFA");
  EXPECT_TRUE(status.alert);

  // The system drive named as the current drive (an old configuration) records until low.
  rig.noDiskSpace = 0;
  rig.recording->Clear();
  rig.drives->SetRecDrive("C:\\");
  rig.Tick();
  EXPECT_TRUE(rig.recording->Calls().empty());
  rig.space.Set('C', 10, 100000);
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskNoSpace"}));
}

TEST(CRecordDrives, HugeMinimumOrLanguageTextCannotBreakTheStep) {
  DriveRig rig;
  rig.space.Set('C', 90000, 100000);
  rig.space.Set('D', 2000, 10000);
  rig.Start();
  rig.settings.m_nFreeSpaceMB = 0x7FFFFFFF;  // a damaged configuration
  rig.Tick();
  EXPECT_EQ(rig.recording->Calls(), (Calls{"DiskNoSpace"}));
  rig.settings.m_nFreeSpaceMB = 600;
  rig.Tick();
  EXPECT_EQ(rig.drives->RecDrive(), "D:\\");
  // A language text with conversions is shown as it stands.
  EXPECT_EQ(rig.drives->Status("%s%n").text, "D:\\VIDEO(%s%n2000M)");
}
