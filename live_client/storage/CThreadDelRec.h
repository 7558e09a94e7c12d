#pragma once

// The live client's maintenance thread. Once a second, while the main dialog is open, it
// runs in this order: the drive watchdog, the start of scheduled recordings, the stop of
// scheduled recordings, and the dialog's own step. It deletes no files: space is kept only by
// moving recording to another drive or suspending it.
//
// Steps never overlap: a slow tick delays the next one. Stopping (KillThread, or destroying
// the object) is synchronous: it waits until the tick under way has finished.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "live_client/storage/CRecordDrives.h"
#include "live_client/storage/RecordingControl.h"
#include "platform/Thread.h"

class CThreadDelRec : public platform::Thread {
 public:
  static constexpr std::uint32_t kTickPeriodMs = 1000;

  // `drives` and `recording` belong to the main dialog and outlive the thread. Created
  // suspended: Resume() starts the ticks. `periodMs` is the wait between ticks.
  CThreadDelRec(CRecordDrives& drives, RecordingControl& recording,
                std::uint32_t periodMs = kTickPeriodMs);
  ~CThreadDelRec() override;

  // Stops the thread and waits for the tick under way; traces the end once.
  bool KillThread() override;

 protected:
  std::uint32_t Run() override;

 private:
  void Tick();

  CRecordDrives& m_drives;         // Maintenance thread only, while running
  RecordingControl& m_recording;   // Maintenance thread only, while running
  const std::uint32_t m_nPeriodMs;
  std::atomic<bool> m_bTracedExit{false};  // Any thread that stops it
};

// A factory for the main dialog's maintenance-thread hook: each call makes a new suspended
// thread over the dialog's drives and recording control.
std::function<std::unique_ptr<platform::Thread>()> MakeMaintenanceThreadFactory(
    CRecordDrives& drives, RecordingControl& recording);
