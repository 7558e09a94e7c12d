#pragma once

// Recording control of the live client: manual recording of a window (started and stopped on
// the window's connect worker), scheduled recording (started and stopped by the maintenance
// thread once a second), the restart of every recording when the recording drive changes and
// the stop of every recording when no drive has room.
//
// A kind-3 slot records through its decoder instance, which writes AVI files into
//   <drive>VIDEO\<addr>[SVR<port>]\<YYYY_MM_DD>\chn_<NN>\<HH>\ (hour folder)
// and enters each closed file into the date folder's index. A DVR slot (kinds 0-2) asks the
// DVR SDK to record into <drive>VIDEO\DVR_REC\<addr>[SVR<port>]\.
//
// The recording count (manual recordings plus armed schedules, at most 48) is the client's
// one tally, shared with the schedule page.
//
// Lock order: the camera-table lock, then a slot's lock, then the dialog's lock, then the
// tally's lock (held only to read or change the count). The dialog's lock is held around every
// start and stop of a recording. Message boxes are never shown under any of these locks: they
// are handed to the user-interface thread.

#include <ctime>
#include <string>

#include "live_client/core/CameraInfo.h"
#include "live_client/storage/RecordingControl.h"
#include "live_client/storage/WeekSchedule.h"

class CKorvelDlg;
class CRecordDrives;
struct RecordingTally;

// Capture flags of a kind-3 recording: video and sound, manual or scheduled.
inline constexpr int kCaptureFlagsManual = 0x102;
inline constexpr int kCaptureFlagsScheduled = 0x202;
// DVR recordings are split by the SDK into files of this size.
inline constexpr unsigned kDvrRecordSplitBytes = 104857600u;
// Error-report codes (wParam of message 0x52C): a start or a stop of a recording failed.
inline constexpr int kReportRecordStartFailed = 3;
inline constexpr int kReportRecordStopFailed = 4;
// Recording kinds of a slot (nRecKind).
inline constexpr int kRecordNone = 0;
inline constexpr int kRecordManual = 1;
inline constexpr int kRecordScheduled = 2;

// Folder of a recording of the slot (address, port, kind, channel 0-23) on drive `root`
// ("D:\"), for a recording started at `now` (local date and hour). Windows form, ends in '\'.
std::string RecordingFolder(const std::string& root, const std::string& address, int port,
                            int kind, int channel, std::time_t now);

class CKorvelRecording : public RecordingControl {
 public:
  // All three outlive this object. `tally` is the client's recording count.
  CKorvelRecording(CKorvelDlg& dialog, CRecordDrives& drives, RecordingTally& tally);
  CKorvelRecording(const CKorvelRecording&) = delete;
  CKorvelRecording& operator=(const CKorvelRecording&) = delete;

  // The clock of the schedule test and of the recording folders' date and hour; the system
  // clock unless a test sets one. Set it before the maintenance thread starts.
  void SetClock(ScheduleClock clock) { m_clock = std::move(clock); }
  std::time_t Now() const;

  // Manual start and stop of window w of the current page. Connect worker of w (or a test's
  // thread); refusals are shown as language messages, failures go to the error report.
  void StartManualRecord(int w);
  void StopManualRecord(int w);

  // Maintenance thread.
  void DiskChange() override;
  void DiskNoSpace() override;
  void DealTimerRec() override;
  void StopTimerRec() override;
  // Stops every recording of every page. Maintenance thread (lack of space) or the UI
  // thread at exit, when no worker runs.
  void StopAllRecord();

  // Preview stop of `slot` (holding its lock): disarms its schedule and stops its recording,
  // giving their units of the count back. 0, or the failing stop result.
  int StopWithPreview(CCameraInfo& slot);
  // Disarms the slot's schedule and gives its unit of the count back (holding the slot's lock).
  void DisarmSchedule(CCameraInfo& slot);
  // A kind-3 stream changed its format: the capture that the caller has just stopped begins
  // again in a new file. Device thread, holding the dialog's lock.
  void RestartCaptureAfterFormatChange(CCameraInfo& slot, int page, int w);

  // Manual recordings plus armed schedules.
  int RecordingCount() const;

 private:
  // Starts the slot's recording of `kind` (manual or scheduled) in a folder on the current
  // drive. 0 on success, else the failure (the kind-3 last error, or the SDK's result; -1
  // when there is no drive). Holding the slot's and the dialog's lock.
  int StartSlot(CCameraInfo& slot, int kind);
  // Stops the slot's recording: 0 or the failure. Holding the slot's and the dialog's lock.
  int StopSlot(CCameraInfo& slot);
  void AddToCount(int delta);
  void Report(int code, int page, int w);
  // A language text formatted with the slot's address, channel and a result.
  std::string SlotText(const char* key, const CCameraInfo& slot, int result) const;
  // Shows `text` on the user-interface thread (later, when called from another thread).
  void Message(const std::string& text);
  void MessageKey(const char* key);
  bool InSchedule(const CCameraInfo& slot) const;

  CKorvelDlg& m_dialog;
  CRecordDrives& m_drives;
  RecordingTally& m_tally;
  ScheduleClock m_clock;  // Set before the threads start, read-only afterwards
};
