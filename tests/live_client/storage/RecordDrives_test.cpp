#include "live_client/storage/CRecordDrives.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "live_client/storage/MDiskManager.h"
#include "tests/live_client/core/TraceCapture.h"
#include "tests/live_client/storage/RecordingFake.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

using suite::test::FakeDiskSpace;
using suite::test::RecordingFake;
using suite::test::TempDriveTable;
using Calls = std::vector<std::string>;

namespace {

// The dialog's drive members, the drive model over them and a recording fake. Drive C is
// the system drive; sizes are set before Start() as the manager reads them at once.
struct DriveRig {
  explicit DriveRig(const std::string& letters = "CDEF") : table(letters, 'C') {
    space.Set('C', 90000, 100000);
  }
  void Start() {
    disks = std::make_unique<MDiskManager>();
    drives = std::make_unique<CRecordDrives>(*disks, settings, diskList, noDiskSpace);
    recording = std::make_unique<RecordingFake>(noDiskSpace, drives.get());
    drives->BuildDiskList();
  }
  // One watchdog step; returns what it asked of recording control.
  Calls Tick() {
    recording->Clear();
    drives->DiskNospace(*recording);
    return recording->Calls();
  }

  TempDriveTable table;
  FakeDiskSpace space;
  CKorvelSettings settings;
  std::vector<std::string> diskList;
  std::atomic<int> noDiskSpace{0};
  std::unique_ptr<MDiskManager> disks;
  std::unique_ptr<CRecordDrives> drives;
  std::unique_ptr<RecordingFake> recording;
};

}  // namespace

TEST(MDiskManager, AnswersEachFixedDrivesSpaceByRoot) {
  DriveRig rig("CDE");
  rig.space.Set('D', 1234, 4096);
  rig.Start();  // E cannot be queried yet: it keeps its first values
  ASSERT_EQ(rig.disks->Count(), 3);
  EXPECT_EQ(rig.disks->DiskAt(2)->TotalMB(), 1);
  EXPECT_EQ(rig.disks->RootAt(0), "") << "the system drive is never offered";
  EXPECT_EQ(rig.disks->RootAt(1), "D:\\");
  EXPECT_EQ(rig.diskList, (Calls{"D:\\", "E:\\"}));
  EXPECT_EQ(rig.settings.m_nRecDriveMask, 0x3);

  EXPECT_EQ(rig.disks->FreeSpaceMB("d:\\"), 1234);
  EXPECT_EQ(rig.disks->TotalSpaceMB("D:\\"), 4096);
  EXPECT_EQ(rig.disks->FreeSpaceMB(""), -1);
  EXPECT_EQ(rig.disks->TotalSpaceMB("Q:\\"), -1);
  // Every question re-reads the drive; one that stops answering keeps its last value.
  rig.space.Set('D', 900, 4096);
  EXPECT_EQ(rig.disks->FreeSpaceMB("D:\\"), 900);
  rig.space.Fail('D');
  EXPECT_EQ(rig.disks->FreeSpaceMB("D:\\"), 900);
  // A volume beyond 2^31 MiB reads as the largest count, not as a negative (full) drive.
  rig.space.Set('E', std::uint64_t{1} << 32, std::uint64_t{1} << 32);
  EXPECT_GT(rig.disks->FreeSpaceMB("E:\\"), 0);
}

TEST(CRecordDrives, ChoosesOnlyAboveTheMarginAndSearchesFromTheHead) {
  DriveRig rig;
  rig.space.Set('D', 650, 10000);  // not more than 600 + 100
  rig.space.Set('E', 700, 10000);  // exactly the margin: still not chosen
  rig.space.Set('F', 701, 10000);
  rig.Start();
  EXPECT_EQ(rig.Tick(), (Calls{"DiskChange F:\\"}));
  // Between the minimum and the margin the drive is kept.
  rig.space.Set('F', 600, 10000);
  EXPECT_EQ(rig.Tick(), Calls{});

  // F falls low; D has room but is not allowed, E is: E is chosen.
  rig.settings.m_nRecDriveMask = 0x6;
  rig.space.Set('D', 5000, 10000);
  rig.space.Set('E', 800, 10000);
  rig.space.Set('F', 599, 10000);
  EXPECT_EQ(rig.Tick(), (Calls{"DiskChange E:\\"}));
  // D allowed again and E low: the search starts at the head, not after E.
  rig.settings.m_nRecDriveMask = 0x7;
  rig.space.Set('E', 10, 10000);
  rig.space.Set('F', 5000, 10000);
  EXPECT_EQ(rig.Tick(), (Calls{"DiskChange D:\\"}));
  // A current drive that is not a fixed drive reads -1 and is left as well.
  rig.drives->SetRecDrive("X:\\");
  EXPECT_EQ(rig.Tick(), (Calls{"DiskChange D:\\"}));
}

TEST(CRecordDrives, NoRoomSuspendsOnceAndResumesOnlyWithTheMargin) {
  DriveRig rig;
  rig.space.Set('D', 2000, 10000);
  rig.space.Set('E', 300, 10000);
  rig.space.Set('F', 300, 10000);
  rig.Start();
  rig.Tick();
  rig.space.Set('D', 500, 10000);
  EXPECT_EQ(rig.Tick(), (Calls{"DiskNoSpace"}));
  EXPECT_EQ(rig.Tick(), Calls{});
  RecordDriveStatus status = rig.drives->Status("Free:");
  EXPECT_TRUE(status.alert);
  EXPECT_EQ(status.text, "D:\\VIDEO(Free:500M)");
  EXPECT_EQ(status.usedPercent, 95);

  rig.space.Set('D', 650, 10000);
  rig.Tick();
  EXPECT_EQ(rig.noDiskSpace.load(), 1) << "inside the margin recording stays suspended";
  rig.space.Set('D', 701, 10000);
  EXPECT_EQ(rig.Tick(), Calls{});
  EXPECT_EQ(rig.noDiskSpace.load(), 0);
  EXPECT_FALSE(rig.drives->Status("Free:").alert);

  // Suspended again, then another drive gains room: recording moves there.
  rig.space.Set('D', 100, 10000);
  EXPECT_EQ(rig.Tick(), (Calls{"DiskNoSpace"}));
  rig.space.Set('F', 5000, 10000);
  EXPECT_EQ(rig.Tick(), (Calls{"DiskChange F:\\"}));
  EXPECT_EQ(rig.noDiskSpace.load(), 0);
  // A language text with conversions is shown as it stands.
  EXPECT_EQ(rig.drives->Status("%s%n").text, "F:\\VIDEO(%s%n5000M)");
}

TEST(CRecordDrives, OnlyTheSystemDriveOrAHugeMinimumNeverChoosesADrive) {
  {
    DriveRig rig("C");
    rig.Start();
    EXPECT_TRUE(rig.diskList.empty());
    EXPECT_EQ(rig.Tick(), (Calls{"DiskNoSpace"}));
    // "All disk space full" in code page 936, in red.
    EXPECT_EQ(rig.drives->Status("Free:").text,
              "\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xC2\xFA");
    EXPECT_TRUE(rig.drives->Status("Free:").alert);
  }

  DriveRig damaged;
  damaged.space.Set('D', 2000, 10000);
  damaged.Start();
  damaged.settings.m_nFreeSpaceMB = 0x7FFFFFFF;  // the margin must not wrap past it
  EXPECT_EQ(damaged.Tick(), (Calls{"DiskNoSpace"}));
}

TEST(CRecordDrives, TracesTheDriveListAndTheSuspension) {
  korvel_test::TraceCapture trace;
  ASSERT_TRUE(trace.Registered());
  DriveRig rig("CDE");
  rig.space.Set('D', 300, 10000);
  rig.Start();
  EXPECT_TRUE(trace.WaitFor("dwLen = 3"));
  EXPECT_TRUE(trace.WaitFor("TOTAL DRIVER: 3,  NUMBER: 2,   DISK: D:\\"));
  EXPECT_TRUE(trace.WaitFor("Useful disk num(include system driver): 3 "));
  EXPECT_TRUE(trace.WaitFor("[KORVEL] - m_strDiskLst num: 2"));
  rig.Tick();
  // "minimum space" and "actual capacity" in code page 936; the current root reads -1.
  EXPECT_TRUE(trace.WaitFor("DealDriver::DiskNospace: \xD7\xEE\xD0\xA1\xBF\xD5\xBC\xE4:600 - "
                            "\xCA\xB5\xBC\xCA\xC8\xDD\xC1\xBF: -1"));
  rig.Tick();
  EXPECT_EQ(trace.Count("DealDriver::DiskNospace"), 1);
}
