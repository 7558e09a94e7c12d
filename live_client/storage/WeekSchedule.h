#pragma once

// The weekly recording timetable of a camera slot: 24 bytes, byte h for the hour h:00-h:59,
// bit d of it for weekday d (0 = Sunday .. 6 = Saturday); bit 7 means nothing. A slot starts
// with every hour of every day selected and its schedule disarmed; neither is saved.

#include <cstdint>
#include <ctime>
#include <functional>

#include "live_client/core/CameraInfo.h"
#include "platform/Sync.h"

inline constexpr int kScheduleDays = 7;
inline constexpr int kScheduleHours = 24;
// Recordings running plus schedules armed may not pass the capture slots of the decoder and
// record-file libraries.
inline constexpr int kMaxRecordings = 48;

using ScheduleBytes = std::uint8_t[kScheduleBytes];

// Seconds since 1970 UTC, "now". The system clock unless a test supplies its own.
using ScheduleClock = std::function<std::time_t()>;

// Non-zero when `schedule` selects the local hour and weekday of `now`; 0 when it does not
// or `now` cannot be turned into local time.
int IsInScheduleAt(const ScheduleBytes& schedule, std::time_t now);

// The slot's schedule test at the current time (`clock`, or the system clock when empty).
// Takes the slot's lock. Does not look at bSchedOn: the caller decides what an armed
// schedule means.
int IsInSchedule(CCameraInfo& camera, const ScheduleClock& clock = {});

// Day-and-hour cells <-> schedule bytes: cell (d, h) is bit d of byte h.
bool ScheduleCell(const ScheduleBytes& schedule, int day, int hour);
void SetScheduleCell(ScheduleBytes& schedule, int day, int hour, bool on);

enum class ScheduleApplyResult {
  None,             // disarmed and left disarmed: nothing stored
  Armed,            // schedule stored and armed; took one unit of the recording count
  Disarmed,         // schedule stored and disarmed; gave its unit back
  Stored,           // armed before and after: the new hours stored
  Overflow,         // arming refused: the recording count is at its limit; nothing stored
  RecordingByHand,  // the slot records by hand: its schedule cannot change
};

// Stores an edited timetable into a slot, arming or disarming it as `armed` says, under the
// slot's lock and then `recordingLock`, which guards `recordingCount` (manual recordings
// plus armed schedules). The caller shows the overflow message for Overflow.
ScheduleApplyResult ApplyWindowSchedule(CCameraInfo& camera, const ScheduleBytes& schedule,
                                        bool armed, platform::CriticalSection& recordingLock,
                                        int& recordingCount);
