#include "live_client/storage/WeekSchedule.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "platform/Sync.h"
#include "platform/TimeText.h"

namespace {

// Seconds of a local time in the week of 23 May 2010 (Sunday 23 .. Saturday 29).
std::time_t At(int day, int hour, int minute = 0, int second = 0) {
  platform::LocalTime time;
  time.year = 2010;
  time.month = 5;
  time.day = static_cast<std::uint16_t>(day);
  time.hour = static_cast<std::uint16_t>(hour);
  time.minute = static_cast<std::uint16_t>(minute);
  time.second = static_cast<std::uint16_t>(second);
  return platform::FromLocalTime(time);
}

constexpr int kSunday = 23;
constexpr int kMonday = 24;
constexpr int kFriday = 28;
constexpr int kSaturday = 29;

void Clear(ScheduleBytes& schedule) {
  for (auto& byte : schedule) byte = 0;
}

}  // namespace

TEST(WeekSchedule, BitsOfTheWeekCornersAndAWorkdayHour) {
  ScheduleBytes schedule;
  Clear(schedule);
  schedule[0] = 0x01;   // Sunday 00:00-00:59
  schedule[23] = 0x40;  // Saturday 23:00-23:59
  schedule[14] = 0x3E;  // Monday to Friday 14:00-14:59
  EXPECT_NE(IsInScheduleAt(schedule, At(kSunday, 0, 0, 0)), 0);
  EXPECT_EQ(IsInScheduleAt(schedule, At(kMonday, 0, 30)), 0);
  EXPECT_NE(IsInScheduleAt(schedule, At(kSaturday, 23, 59, 59)), 0);
  for (int day = kMonday; day <= kFriday; ++day)
    EXPECT_NE(IsInScheduleAt(schedule, At(day, 14, 30)), 0) << "day " << day;
  EXPECT_EQ(IsInScheduleAt(schedule, At(kSunday, 14, 30)), 0);
  EXPECT_EQ(IsInScheduleAt(schedule, At(kSaturday, 14, 30)), 0);

  // The cell view of the same bytes.
  EXPECT_TRUE(ScheduleCell(schedule, 0, 0));
  EXPECT_TRUE(ScheduleCell(schedule, 6, 23));
  EXPECT_FALSE(ScheduleCell(schedule, 7, 23));
  SetScheduleCell(schedule, 3, 14, false);
  EXPECT_EQ(schedule[14], 0x36);
  SetScheduleCell(schedule, 7, 14, true);   // no such weekday: ignored
  SetScheduleCell(schedule, 0, 24, true);   // no such hour: ignored
  EXPECT_EQ(schedule[14], 0x36);
}

TEST(WeekSchedule, SlotArmedForMondayEightStartsAndEndsOnTheHour) {
  CCameraInfo camera;
  Clear(camera.abySchedule);
  SetScheduleCell(camera.abySchedule, 1, 8, true);
  std::time_t now = 0;
  const ScheduleClock clock = [&] { return now; };
  now = At(kMonday, 7, 59, 59);
  EXPECT_EQ(IsInSchedule(camera, clock), 0);
  now = At(kMonday, 8, 0, 0);
  EXPECT_NE(IsInSchedule(camera, clock), 0);
  now = At(kMonday, 9, 0, 0);
  EXPECT_EQ(IsInSchedule(camera, clock), 0);
  // The next hour selected too: the recording runs on.
  SetScheduleCell(camera.abySchedule, 1, 9, true);
  EXPECT_NE(IsInSchedule(camera, clock), 0);
  // A time the host cannot express in local time is never inside the schedule.
  now = std::numeric_limits<std::time_t>::max();
  for (int h = 0; h < kScheduleHours; ++h) camera.abySchedule[h] = 0xFF;
  EXPECT_EQ(IsInSchedule(camera, clock), 0);
  // A fresh slot has the whole week selected; the system clock is used without a clock.
  CCameraInfo fresh;
  EXPECT_NE(IsInSchedule(fresh), 0);
}

TEST(WeekSchedule, ApplyArmsDisarmsAndKeepsTheRecordingCount) {
  platform::CriticalSection recordingLock;
  CCameraInfo camera;
  ScheduleBytes edited;
  Clear(edited);
  edited[14] = 0x3E;
  int count = 47;

  // Disarmed and left disarmed: the edit is not stored.
  EXPECT_EQ(ApplyWindowSchedule(camera, edited, false, recordingLock, count),
            ScheduleApplyResult::None);
  EXPECT_EQ(camera.abySchedule[0], 0xFF);

  EXPECT_EQ(ApplyWindowSchedule(camera, edited, true, recordingLock, count),
            ScheduleApplyResult::Armed);
  EXPECT_EQ(count, 48);
  EXPECT_EQ(camera.bSchedOn, 1);
  EXPECT_EQ(camera.abySchedule[14], 0x3E);
  EXPECT_EQ(camera.abySchedule[0], 0x00);

  edited[0] = 0x7F;
  EXPECT_EQ(ApplyWindowSchedule(camera, edited, true, recordingLock, count),
            ScheduleApplyResult::Stored);
  EXPECT_EQ(count, 48);
  EXPECT_EQ(camera.abySchedule[0], 0x7F);

  // At 48 another slot cannot be armed and keeps its timetable.
  CCameraInfo other;
  EXPECT_EQ(ApplyWindowSchedule(other, edited, true, recordingLock, count),
            ScheduleApplyResult::Overflow);
  EXPECT_EQ(other.bSchedOn, 0);
  EXPECT_EQ(other.abySchedule[14], 0xFF);
  EXPECT_EQ(count, 48);

  EXPECT_EQ(ApplyWindowSchedule(camera, edited, false, recordingLock, count),
            ScheduleApplyResult::Disarmed);
  EXPECT_EQ(count, 47);
  EXPECT_EQ(camera.bSchedOn, 0);

  // A slot recording by hand keeps its schedule untouched.
  CCameraInfo manual;
  manual.nRecKind = 1;
  EXPECT_EQ(ApplyWindowSchedule(manual, edited, true, recordingLock, count),
            ScheduleApplyResult::RecordingByHand);
  EXPECT_EQ(manual.bSchedOn, 0);
  EXPECT_EQ(manual.abySchedule[14], 0xFF);
  EXPECT_EQ(count, 47);

  // Disarming with a count already at 0 (armed some other way) does not go negative.
  CCameraInfo stray;
  stray.bSchedOn = 1;
  int zero = 0;
  EXPECT_EQ(ApplyWindowSchedule(stray, edited, false, recordingLock, zero),
            ScheduleApplyResult::Disarmed);
  EXPECT_EQ(zero, 0);
}
