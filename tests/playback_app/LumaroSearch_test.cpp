// The playback program's parts below the dialog: the command line, the searchable drives,
// the index parser against damaged and oversized key lists, and the task queue.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "LumaroTestSupport.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "playback_app/CDriver.h"
#include "playback_app/CThreadCmdProcess.h"
#include "playback_app/CommandLine.h"
#include "playback_app/RecordSearch.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

using namespace lumaro;
using lumaro_test::MakeRecording;

TEST(LumaroCommandLine, SplitsAtTheLastBlank) {
  struct Case {
    const char* arguments;
    const char* picture;
    int s;
  };
  const Case cases[] = {
      {"", "D:\\Picture\\", 1},
      {"-pri=D:\\Snap\\ -s=5", "D:\\Snap\\", 5},
      {"-pri=D:\\Snap -s=0", "D:\\Picture\\", 0},       // no trailing backslash
      {"-pri=4294967295 -s=0", "D:\\Picture\\", 0},     // as the live client starts it
      {"-pri=D:\\My Snaps\\ -s=0", "D:\\My Snaps\\", 0}, // a blank inside the folder
      {"-x=D:\\Snap\\ -s=2", "D:\\Picture\\", 2},
      {"-pri=D:\\Snap\\ -t=0", "D:\\Snap\\", 1},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.strPicturePath, c.picture) << c.arguments;
    EXPECT_EQ(line.nS, c.s) << c.arguments;
  }
}

TEST(LumaroDriver, SkipsTheSystemDriveAndFullDrives) {
  suite::test::TempDriveTable drives("CDEF", 'D');
  suite::test::FakeDiskSpace space;
  space.Set('C', 500, 1000);
  space.Set('D', 500, 1000);  // holds the system folder
  space.Set('E', 0, 1000);    // less than one megabyte free
  space.Set('F', 2, 1000);
  CDriver driver;
  driver.Build();
  EXPECT_EQ(driver.m_strDrivers, "CF");
  EXPECT_EQ(driver.EnabledLetters(), (std::vector<char>{'C', 'F'}));

  // A rebuild with as many drives keeps the operator's mask.
  driver.m_dwMask = 0x2;
  driver.m_nCurrent = 1;
  driver.Build();
  EXPECT_EQ(driver.EnabledLetters(), (std::vector<char>{'F'}));
  EXPECT_EQ(driver.m_nCurrent, 1);
  // One drive more: every drive is searched again.
  space.Set('E', 10, 1000);
  driver.Build();
  EXPECT_EQ(driver.m_strDrivers, "CEF");
  EXPECT_EQ(driver.m_dwMask, 0x7u);
}

TEST(LumaroIndexSearch, DamagedKeysAreSkippedAndLongListsReadOnlyAsFarAsTheyFit) {
  suite::test::TempDriveTable drives("CD", 'C');
  const std::string kept = MakeRecording('D', "", 2, 9, 0, 0, 'M', 600);
  std::array<ChannelState, kSearchChannels> states{};
  SearchRequest request;
  request.day = SearchDay{2010, 5, 5};
  IndexSearch search;

  // Keys without a backslash, with a short name, a non-numeric channel, a missing file.
  std::string keys;
  for (const std::string& key : {std::string("no-backslash"), std::string("D:\\short.avi\\10"),
                                 std::string("D:\\video\\2010-05-05-090000 M1xx.avi\\10"),
                                 std::string("D:\\gone\\2010-05-05-090000 M102.avi\\10"), kept + "\\600"})
    keys.append(key).push_back('\0');
  keys.push_back('\0');
  search.ParseKeyNames(keys.data(), keys.size(), {2}, request, states);
  ASSERT_EQ(states[1].records.size(), 1u);
  EXPECT_EQ(states[1].records[0].strPath, kept);
  EXPECT_EQ(states[1].records[0].nDuration, 600);
  EXPECT_GT(states[1].records[0].nFileSize, 20480);

  // A key list without its final terminator ends at the buffer's end, not beyond it.
  const std::string open = kept + "\\5";
  states[1].records.clear();
  search.ParseKeyNames(open.data(), open.size(), {2}, request, states);
  ASSERT_EQ(states[1].records.size(), 1u);
  EXPECT_EQ(states[1].records[0].nDuration, 5);

  // An index whose key list is longer than the buffer: what fits is found, nothing crashes.
  {
    std::ofstream index(platform::ToHostPath("D:\\video\\2010_05_05\\FileInfo0.ini"), std::ios::binary);
    index << "[FileCount]\r\nnCount=1601\r\n[FileInfo]\r\n" << kept << "\\600=FI\r\n";
    const std::string padding(200, 'x');
    for (int i = 0; i < 1600; ++i) index << "D:\\pad\\" << padding << i << "\\1=FI\r\n";
  }
  platform::ClearProfileCache();
  search.Run({2}, {'D'}, request, states);
  EXPECT_EQ(states[1].records.size(), 1u);  // the real recording was entered first
}

TEST(LumaroIndexSearch, NumberedIndexesWithoutEntriesAreSkippedAndRecordsSortByStart) {
  suite::test::TempDriveTable drives("CDE", 'C');
  const std::string late = MakeRecording('D', "", 4, 11, 0, 0, 'T', 60);
  const std::string early = MakeRecording('E', "", 4, 6, 30, 0, 'T', 60);
  const std::string middle = MakeRecording('E', "", 4, 9, 15, 0, 'A', 60);
  // A second numbered index file that claims no entries must not be read.
  platform::WritePrivateProfileString("FileCount", "FileCount", "2", "E:\\video\\2010_05_05\\FileInfo.ini");
  platform::WritePrivateProfileString("FileCount", "nCount", "0", "E:\\video\\2010_05_05\\FileInfo1.ini");
  platform::WritePrivateProfileString("FileInfo", (late + "\\60").c_str(), "FI", "E:\\video\\2010_05_05\\FileInfo1.ini");

  std::array<ChannelState, kSearchChannels> states{};
  SearchRequest request;
  request.day = SearchDay{2010, 5, 5};
  IndexSearch search;
  search.Run({4}, {'D', 'E'}, request, states);
  const auto& records = states[3].records;
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].strPath, early);
  EXPECT_EQ(records[1].strPath, middle);
  EXPECT_EQ(records[2].strPath, late);
  EXPECT_EQ(records[1].nType, kRecordAlarm);
  const std::vector<ResultRow> rows = BuildResultRows({4}, states);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].strTime, "09:15:00");
  EXPECT_EQ(rows[1].nRecordIndex, 1);
}

TEST(LumaroTaskQueue, TasksRunInOrderAndQueuedTasksOutliveTheStop) {
  TaskQueue queue;
  std::vector<int> seen;
  std::mutex lock;
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  auto thread = std::make_unique<CThreadCmdProcess>(queue, [&](int task) {
    entered = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back(task);
  });
  thread->Resume();
  for (int task : {300, 301, 7}) ASSERT_TRUE(queue.Push(task));
  while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Two tasks are still queued when the thread is told to stop: they run before it ends.
  release = true;
  thread.reset();
  EXPECT_EQ(seen, (std::vector<int>{300, 301, 7}));
  EXPECT_EQ(queue.Semaphore()->CurrentCount(), 0);
}
