#pragma once
// The drive manager: an optional worker that keeps room on the recording drives by switching
// drives and deleting the oldest indexed recordings, and that suspends recording when no
// room can be made.
//
// Configuration. The exported interface has no call to fill the drive set or the
// thresholds, so they come from a profile file read when the worker starts:
//
//   file: the path in the environment variable STORDANE_DRIVES_INI, else
//         "<program folder>\Stordane.ini"
//   [DealDrivers]
//   Drives=DE            drive letters in order (none: the worker stays idle)
//   UsableMask=3         bit i set: letter i may become current (default: all)
//   CurrentDrive=0       index of the current letter
//   ReserveMB=0          room the current drive keeps beyond its 5 MB working margin
//   NoSpace=0            1: a pass gives up at once and suspends recording
//   DFHours=0            hours of oldest recordings one deletion step removes
//   PassIntervalMs=120000  wait between passes
//
// Without the file nothing is configured, so a started worker does nothing, as in a system
// that never starts it.
//
// Threads: Start/Stop/RegisterCallback from any thread (serialised by worker_lock_); the
// suspended flag and the callback are atomics read by capture threads and the worker.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Sync.h"
#include "record_file_library/DriverSet.h"
#include "record_file_library/Stordane.h"

namespace stordane {

class RecordingIndex;
class DealDriversThread;

struct DriveManagerSettings {
  std::string letters;
  std::uint32_t usable_mask = 0xFFFFFFFFu;
  int current = 0;
  int reserve_mb = 0;
  int no_space = 0;
  int df_hours = 0;
  std::uint32_t pass_interval_ms = 120000;

  // Where the settings are read from (see the top of this file).
  static std::string ProfilePath();
  static DriveManagerSettings Load(const std::string& profile_path);
};

class DriveManager {
 public:
  // `is_recording(path)` tells whether a capture slot holds `path` open; such a file is
  // never deleted by the worker.
  DriveManager(RecordingIndex& index, std::function<bool(const std::string&)> is_recording);
  ~DriveManager();
  DriveManager(const DriveManager&) = delete;
  DriveManager& operator=(const DriveManager&) = delete;

  // 0, or OX_ERR_PARAM when the worker cannot be created. A worker already running is kept.
  unsigned Start();
  // Stops and destroys the worker, if any. 0.
  unsigned Stop();
  void RegisterCallback(OX_DRIVER_MSG_CB callback) { callback_.store(callback); }
  bool IsSuspended() const { return suspended_.load() != 0; }

  // --- For the worker ---
  DriverSet& Drivers() { return drivers_; }
  RecordingIndex& Index() { return index_; }
  const DriveManagerSettings& Settings() const { return settings_; }
  bool IsRecording(const std::string& path) const { return is_recording_(path); }
  OX_DRIVER_MSG_CB Callback() const { return callback_.load(); }
  // Interlocked changes of the suspended flag; each returns the value before.
  int ExchangeSuspended(int value) { return suspended_.exchange(value); }

 private:
  RecordingIndex& index_;
  const std::function<bool(const std::string&)> is_recording_;
  DriverSet drivers_;
  DriveManagerSettings settings_;  // Written by Start() before the worker exists
  std::atomic<OX_DRIVER_MSG_CB> callback_{nullptr};
  std::atomic<int> suspended_{0};
  platform::CriticalSection worker_lock_;
  std::unique_ptr<DealDriversThread> worker_;   // Guarded by worker_lock_
  std::unique_ptr<DealDriversThread> retired_;  // Guarded by worker_lock_: stopped from its own callback
};

}  // namespace stordane
