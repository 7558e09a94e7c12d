// The DVR SDK's search and file playback of recordings kept on the recorder simulator.

#include <cstring>
#include <ctime>
#include <sstream>
#include <thread>

#include "tests/device_sdk/Orvane/OrvaneFixture.h"

namespace orvane_test {
namespace {

using namespace std::chrono_literals;

uint32_t AsUtc(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return uint32_t(timegm(&tm));
}

// 19 recordings of channel 1 on 2026-12-09 (types in turn), 3 of channel 2, one of
// channel 1 on the next day, and a short one of channel 4 for playback.
std::string TestCatalogue() {
  static constexpr int kTypes[] = {1, 2, 4, 8};
  std::ostringstream out;
  out << "# id channel type date time seconds\n";
  for (int i = 0; i < 19; ++i)
    out << (i + 1) << " 1 " << kTypes[i % 4] << " 2026-12-09 " << (i < 10 ? "0" : "") << i
        << ":15:00 30\n";
  out << "20 2 8 2026-12-09 10:00:00 30\n21 2 8 2026-12-09 11:00:00 30\n"
      << "22 2 1 2026-12-09 12:00:00 30\n23 1 1 2026-12-10 01:00:00 30\n"
      << "this line is not a recording\n"
      << "30 4 8 2026-12-09 08:00:00 2\n";
  return out.str();
}

ORVANE_SEARCH Query(unsigned channel, unsigned type_mask, unsigned first) {
  ORVANE_SEARCH q{};
  q.channelMask = uint16_t(1u << (channel - 1));
  q.typeMask = uint16_t(type_mask);
  q.startTime = AsUtc(2026, 12, 9, 0, 0, 0);
  q.endTime = AsUtc(2026, 12, 9, 23, 59, 59);
  q.firstIndex = uint16_t(first);
  q.pageSize = 8;
  return q;
}

std::vector<ORVANE_RECFILE> Records(const ORVANE_SEARCH_RESULT& result) {
  std::vector<ORVANE_RECFILE> records;
  for (ORVANE_RECFILE* r = result.files; r && records.size() < 100; r = r->next) records.push_back(*r);
  return records;
}

TEST_F(OrvaneTest, SearchPagesNineteenMatchesAsEightEightThree) {
  WriteCatalogue(TestCatalogue());
  StartSim("127.0.0.50");
  int handle = Login("127.0.0.50");

  ORVANE_SEARCH_RESULT result{};
  std::vector<ORVANE_RECFILE> all;
  const unsigned firsts[] = {1, 9, 17};
  const size_t sizes[] = {8, 8, 3};
  for (int page = 0; page < 3; ++page) {
    ORVANE_SEARCH q = Query(1, 16 | 15, firsts[page]);
    // One result block, searched page after page without a clean in between.
    ASSERT_EQ(ORVANE_recFilesSearch(handle, &q, &result), ORVANE_OK);
    EXPECT_EQ(+result.total, 19);
    EXPECT_EQ(+result.first, firsts[page]);
    EXPECT_EQ(+result.last, firsts[page] + sizes[page] - 1);
    auto records = Records(result);
    ASSERT_EQ(records.size(), sizes[page]);
    all.insert(all.end(), records.begin(), records.end());
  }
  // In time order, each with its channel, type and start time at their offsets.
  for (size_t i = 0; i < all.size(); ++i) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&all[i]);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], (1 << (i % 4)));
    uint32_t start = 0;
    std::memcpy(&start, bytes + 2, 4);
    EXPECT_EQ(start, AsUtc(2026, 12, 9, int(i), 15, 0)) << "record " << i;
    const uint32_t end = all[i].endTime;  // packed field: compare by value
    EXPECT_EQ(end, start + 30);
  }

  // Beyond the last match: the total, nothing returned.
  ORVANE_SEARCH past = Query(1, 16 | 15, 25);
  ASSERT_EQ(ORVANE_recFilesSearch(handle, &past, &result), ORVANE_OK);
  EXPECT_EQ(+result.total, 19);
  EXPECT_EQ(+result.files, nullptr);
  EXPECT_EQ(+result.first, 0);

  // Type masks: manual only (8) on channel 1 is every fourth; alarm (6 = motion | alarm).
  ORVANE_SEARCH manual = Query(1, 8, 1);
  ASSERT_EQ(ORVANE_recFilesSearch(handle, &manual, &result), ORVANE_OK);
  EXPECT_EQ(+result.total, 4);
  ORVANE_SEARCH alarm = Query(1, 6, 1);
  ASSERT_EQ(ORVANE_recFilesSearch(handle, &alarm, &result), ORVANE_OK);
  EXPECT_EQ(+result.total, 10);
  ORVANE_SEARCH other_channel = Query(2, 16 | 15, 1);
  ASSERT_EQ(ORVANE_recFilesSearch(handle, &other_channel, &result), ORVANE_OK);
  EXPECT_EQ(+result.total, 3);
  EXPECT_EQ(Records(result).size(), 3u);

  EXPECT_EQ(ORVANE_recFilesSearchClean(&result), ORVANE_OK);
  EXPECT_EQ(+result.total, 0);
  EXPECT_EQ(+result.files, nullptr);
  // Cleaning again, or a block the SDK never filled, releases nothing.
  EXPECT_EQ(ORVANE_recFilesSearchClean(&result), ORVANE_OK);
  ORVANE_RECFILE foreign{};
  ORVANE_SEARCH_RESULT not_ours{1, 1, 1, &foreign};
  EXPECT_EQ(ORVANE_recFilesSearchClean(&not_ours), ORVANE_OK);
}

struct PlayEvents {
  std::mutex lock;
  std::vector<std::pair<unsigned, unsigned>> progress;
  std::atomic<int> over{0};
};

void OnProgress(unsigned position, unsigned total, void* user) {
  auto* events = static_cast<PlayEvents*>(user);
  std::lock_guard<std::mutex> guard(events->lock);
  events->progress.emplace_back(position, total);
}

void OnPlayOver(void* user) { ++static_cast<PlayEvents*>(user)->over; }

TEST_F(OrvaneTest, FilePlaybackPausesChangesRateAndReachesPlayOver) {
  WriteCatalogue(TestCatalogue());
  StartSim("127.0.0.51");
  int handle = Login("127.0.0.51");
  ORVANE_SEARCH q = Query(4, 16 | 15, 1);
  ORVANE_SEARCH_RESULT result{};
  ASSERT_EQ(ORVANE_recFilesSearch(handle, &q, &result), ORVANE_OK);
  ASSERT_EQ(+result.total, 1);
  // The playback program keeps only a copy of the record's first 84 bytes.
  ORVANE_RECFILE copy{};
  std::memcpy(&copy, result.files, ORVANE_RECFILE_DATA_BYTES);
  ORVANE_recFilesSearchClean(&result);

  Received& pictures = pictures_;
  PlayEvents events;
  ASSERT_EQ(ORVANE_openPlayCBReciever(handle, 0, Collect, &pictures), ORVANE_OK);
  ASSERT_EQ(ORVANE_setPlayCBDecoderFMT(handle, 0, ORVANE_FMT_YUV420), ORVANE_OK);
  ASSERT_EQ(ORVANE_regCBMsgPlayOver(handle, 0, OnPlayOver, &events), ORVANE_OK);
  ASSERT_EQ(ORVANE_regCBMsgProgress(handle, 0, OnProgress, &events), ORVANE_OK);
  EXPECT_EQ(ORVANE_pausePlay(handle, 0), ORVANE_ERR_STATE);
  ASSERT_EQ(ORVANE_startFilePlay(handle, 0, &copy), ORVANE_OK);
  ASSERT_EQ(ORVANE_playProgress(handle, 0, 1), ORVANE_OK);

  ASSERT_TRUE(pictures.WaitFor(5, 3s));
  ASSERT_EQ(ORVANE_pausePlay(handle, 0), ORVANE_OK);
  std::this_thread::sleep_for(200ms);
  const int paused_at = pictures.count();
  std::this_thread::sleep_for(500ms);
  EXPECT_LE(pictures.count(), paused_at + 1) << "pictures kept coming while paused";
  EXPECT_EQ(ORVANE_setPlayRate(handle, 0, 3), ORVANE_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(ORVANE_setPlayRate(handle, 0, 4), ORVANE_OK);
  const auto resumed = std::chrono::steady_clock::now();
  ASSERT_EQ(ORVANE_resumePlay(handle, 0), ORVANE_OK);

  // The 2 s recording (50 pictures) plays to its end at four times the speed.
  const auto deadline = resumed + 3s;
  while (events.over == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  ASSERT_EQ(events.over, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - resumed, 1500ms);
  EXPECT_GE(pictures.count(), 48);
  EXPECT_EQ(pictures.bad_records, 0);
  EXPECT_EQ(pictures.width, 352);
  {
    std::lock_guard<std::mutex> guard(events.lock);
    ASSERT_FALSE(events.progress.empty());
    EXPECT_EQ(events.progress.back().first, events.progress.back().second);
    EXPECT_EQ(events.progress.back().second, 2000u);
  }

  // A second playback of the same record, slowed down, then stopped: nothing after stop.
  ASSERT_EQ(ORVANE_startFilePlay(handle, 0, &copy), ORVANE_OK);
  ASSERT_EQ(ORVANE_setPlayRate(handle, 0, -2), ORVANE_OK);
  const int before = pictures.count();
  std::this_thread::sleep_for(1s);
  const int slow = pictures.count() - before;
  EXPECT_GT(slow, 5);
  EXPECT_LT(slow, 20) << "half speed plays about 12 pictures a second";
  ASSERT_EQ(ORVANE_stopFilePlay(handle, 0), ORVANE_OK);
  const int stopped = pictures.count();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(pictures.count(), stopped);
  EXPECT_EQ(ORVANE_closePlayCBReciever(handle, 0), ORVANE_OK);

  // A record the recorder does not know is refused; only play index 0 exists.
  ORVANE_RECFILE unknown = copy;
  unknown.fileId = 999;
  EXPECT_EQ(ORVANE_startFilePlay(handle, 0, &unknown), ORVANE_ERR_REFUSED);
  EXPECT_EQ(ORVANE_startFilePlay(handle, 1, &copy), ORVANE_ERR_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace orvane_test
