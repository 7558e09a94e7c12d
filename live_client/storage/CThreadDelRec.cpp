#include "live_client/storage/CThreadDelRec.h"

#include "common/TraceMessage.h"
#include "platform/Sync.h"

CThreadDelRec::CThreadDelRec(CRecordDrives& drives, RecordingControl& recording,
                             std::uint32_t periodMs)
    : m_drives(drives), m_recording(recording), m_nPeriodMs(periodMs) {}

CThreadDelRec::~CThreadDelRec() {
  // The body uses this object's members: it must have ended before they go.
  KillThread();
}

bool CThreadDelRec::KillThread() {
  const bool result = platform::Thread::KillThread();
  if (!m_bTracedExit.exchange(true)) TraceMessage("Exit KillThread");
  return result;
}

std::uint32_t CThreadDelRec::Run() {
  if (IsStopRequested()) return 0;
  platform::Event* stop = StopEvent();
  if (!stop) return 0;
  for (;;) {
    const std::uint32_t result = platform::WaitForOne(stop, m_nPeriodMs);
    if (result == platform::WAIT_TIMEOUT) Tick();
    if (result != platform::WAIT_TIMEOUT || IsStopRequested()) return 0;
  }
}

void CThreadDelRec::Tick() {
  m_drives.DiskNospace(m_recording);
  m_recording.DealTimerRec();
  m_recording.StopTimerRec();
  m_recording.OnMaintenanceTick();
}

std::function<std::unique_ptr<platform::Thread>()> MakeMaintenanceThreadFactory(
    CRecordDrives& drives, RecordingControl& recording) {
  return [&drives, &recording]() -> std::unique_ptr<platform::Thread> {
    return std::make_unique<CThreadDelRec>(drives, recording);
  };
}
