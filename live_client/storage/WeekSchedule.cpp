#include "live_client/storage/WeekSchedule.h"

#include <algorithm>
#include <mutex>

#include "platform/TimeText.h"

int IsInScheduleAt(const ScheduleBytes& schedule, std::time_t now) {
  platform::LocalTime local;
  if (!platform::ToLocalTime(now, local)) return 0;
  if (local.hour >= kScheduleHours || local.dayOfWeek >= kScheduleDays) return 0;
  return schedule[local.hour] & (1 << local.dayOfWeek);
}

int IsInSchedule(CCameraInfo& camera, const ScheduleClock& clock) {
  const std::time_t now = clock ? clock() : std::time(nullptr);
  std::lock_guard<platform::CriticalSection> guard(camera.lock);
  return IsInScheduleAt(camera.abySchedule, now);
}

bool ScheduleCell(const ScheduleBytes& schedule, int day, int hour) {
  if (day < 0 || day >= kScheduleDays || hour < 0 || hour >= kScheduleHours) return false;
  return (schedule[hour] & (1 << day)) != 0;
}

void SetScheduleCell(ScheduleBytes& schedule, int day, int hour, bool on) {
  if (day < 0 || day >= kScheduleDays || hour < 0 || hour >= kScheduleHours) return;
  const auto bit = static_cast<std::uint8_t>(1u << day);
  schedule[hour] = static_cast<std::uint8_t>(on ? schedule[hour] | bit : schedule[hour] & ~bit);
}

ScheduleApplyResult ApplyWindowSchedule(CCameraInfo& camera, const ScheduleBytes& schedule,
                                        bool armed, platform::CriticalSection& recordingLock,
                                        int& recordingCount) {
  std::lock_guard<platform::CriticalSection> slotGuard(camera.lock);
  std::lock_guard<platform::CriticalSection> countGuard(recordingLock);
  if (camera.nRecKind == 1) return ScheduleApplyResult::RecordingByHand;
  const auto store = [&] { std::copy(schedule, schedule + kScheduleBytes, camera.abySchedule); };
  if (!camera.bSchedOn) {
    if (!armed) return ScheduleApplyResult::None;
    if (recordingCount >= kMaxRecordings) return ScheduleApplyResult::Overflow;
    ++recordingCount;
    store();
    camera.bSchedOn = 1;
    return ScheduleApplyResult::Armed;
  }
  if (!armed) {
    // A count that was never raised (a slot armed some other way) must not go negative.
    if (recordingCount > 0) --recordingCount;
    store();
    camera.bSchedOn = 0;
    return ScheduleApplyResult::Disarmed;
  }
  store();
  return ScheduleApplyResult::Stored;
}
