#pragma once

// The recording-drive settings of the main dialog and the watchdog step that keeps the
// current recording drive above the minimum of free space.
//
// A drive is left when its free space falls below the minimum and is only chosen, or
// recording resumed on it, when it has more than the minimum + 100 MiB; the search always
// starts at the head of the drive list. When no allowed drive has room, recording is
// suspended (the no-space flag) until one has.

#include <atomic>
#include <string>
#include <vector>

#include "live_client/core/KorvelConfig.h"
#include "live_client/storage/MDiskManager.h"
#include "live_client/storage/RecordingControl.h"
#include "platform/Sync.h"

// What the status area shows of the current recording drive.
struct RecordDriveStatus {
  int freeMB = 0;        // free MiB of the current drive; -1 when it is not a listed drive
  int totalMB = 0;       // total MiB as last read; -1 when it is not a listed drive
  int usedPercent = 0;   // 100 - free * 100 / total; 0 when the size is unknown
  std::string text;      // 8-bit status text
  bool alert = false;    // drawn in red: recording is suspended for lack of space
};

// Drive margin above the minimum that a drive needs before it is chosen again.
inline constexpr int kDriveChoiceMarginMB = 100;

class CRecordDrives {
 public:
  // Works on the dialog's own members, which outlive this object: `settings` holds the
  // minimum, the mask and the current drive, `diskList` the drive list, `noDiskSpace` the
  // flag that recording control reads on other threads. `driveLock`, when given, guards the
  // settings instead of a lock of this object's own: the owner's editors of the same settings
  // (the disk page) then take one lock with the watchdog. It must outlive this object.
  CRecordDrives(MDiskManager& disks, CKorvelSettings& settings,
                std::vector<std::string>& diskList, std::atomic<int>& noDiskSpace,
                platform::CriticalSection* driveLock = nullptr);
  CRecordDrives(const CRecordDrives&) = delete;
  CRecordDrives& operator=(const CRecordDrives&) = delete;

  // Fills the drive list with every fixed drive except the system drive and allows each of
  // them. Runs before the configuration is loaded, so a stored mask replaces this one.
  void BuildDiskList();

  // The watchdog step, once a second on the maintenance thread. Calls DiskChange after it
  // chose a new drive and DiskNoSpace when no drive has room, outside the drive lock.
  void DiskNospace(RecordingControl& recording);

  // Values of the status area, `freeText` being the language text of "IDS_DISK_FREE".
  // Re-reads the current drive. UI thread.
  RecordDriveStatus Status(const std::string& freeText);

  // The current recording drive, read or changed under the drive lock.
  std::string RecDrive() const;
  void SetRecDrive(const std::string& root);

  // Guards the current drive, the drive list, the mask and the minimum while the watchdog
  // runs on its own thread. Anything else that reads or edits them (the disk page, the
  // status line) takes it as well. Held only briefly; never taken around a recording step.
  platform::CriticalSection& DriveLock() const { return m_lock; }
  MDiskManager& Disks() { return m_disks; }

 private:
  // First list entry with more than min + margin MiB whose mask bit is set, or "".
  std::string FindDriveWithRoom(const std::vector<std::string>& list, unsigned mask, int minMB);
  int FreeOfCurrent();
  void SetNoDiskSpace(int value);

  MDiskManager& m_disks;
  CKorvelSettings& m_settings;            // m_strRecDrive, mask, minimum: guarded by m_lock
  std::vector<std::string>& m_diskList;   // Guarded by m_lock
  std::atomic<int>& m_bNoDiskSpace;       // Interlocked
  mutable platform::CriticalSection m_csDrives;
  platform::CriticalSection& m_lock;      // m_csDrives or the owner's lock
};
