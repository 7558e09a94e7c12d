#pragma once

// The recording steps the maintenance thread drives. Recording control implements them on
// the main dialog's side; the thread and the drive watchdog only decide when they run.
// Every function here is called on the maintenance thread, never two at once.

class RecordingControl {
 public:
  virtual ~RecordingControl() = default;

  // The watchdog has put a new root into the current recording drive: stop every running
  // recording and start it again on that drive, manual as manual and scheduled as
  // scheduled, and clear the no-space flag.
  virtual void DiskChange() = 0;
  // No listed drive has room: raise the no-space flag and stop every recording. Does
  // nothing when the flag is already raised.
  virtual void DiskNoSpace() = 0;
  // Starts the scheduled recordings whose hour has begun.
  virtual void DealTimerRec() = 0;
  // Stops the scheduled recordings whose hour has ended or whose schedule was disarmed.
  virtual void StopTimerRec() = 0;
  // The dialog's own step at the end of each tick; nothing unless the dialog needs one.
  virtual void OnMaintenanceTick() {}
};
