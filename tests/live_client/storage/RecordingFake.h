#pragma once

// Recording control as the maintenance thread sees it, written down instead of carried out:
// every call is logged in order, and the drive switches behave as the real ones do on the
// no-space flag.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "live_client/storage/CRecordDrives.h"
#include "live_client/storage/RecordingControl.h"

namespace suite::test {

class RecordingFake : public RecordingControl {
 public:
  // `drives` (optional) lets DiskChange log the drive it was handed.
  RecordingFake(std::atomic<int>& noDiskSpace, CRecordDrives* drives = nullptr)
      : noDiskSpace_(noDiskSpace), drives_(drives) {}

  void DiskChange() override {
    noDiskSpace_.exchange(0);
    Log("DiskChange " + (drives_ ? drives_->RecDrive() : std::string()));
  }
  void DiskNoSpace() override {
    if (noDiskSpace_.exchange(1) == 0) Log("DiskNoSpace");
  }
  void DealTimerRec() override { Step("DealTimerRec"); }
  void StopTimerRec() override { Step("StopTimerRec"); }
  void OnMaintenanceTick() override { Step("Hook"); }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
  }
  // Runs inside every DealTimerRec, StopTimerRec and hook call (a slow step, a check).
  std::function<void(const std::string&)> onStep;

 private:
  void Step(const std::string& name) {
    Log(name);
    if (onStep) onStep(name);
  }
  void Log(const std::string& entry) {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(entry);
  }

  std::atomic<int>& noDiskSpace_;
  CRecordDrives* drives_;
  std::mutex lock_;
  std::vector<std::string> calls_;
};

}  // namespace suite::test
