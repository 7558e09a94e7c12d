#pragma once
// The drive-manager worker: every pass interval it checks the free space of the current
// drive, switches drives, deletes the oldest recordings hour window by hour window, keeps
// the index files in step with what it deleted and suspends or resumes recording.
//
// Threads: Run() and everything below it run on the worker thread only. The index file the
// capture threads append to is read and edited only under the index lock.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace stordane {

class DriveManager;

class DealDriversThread final : public platform::Thread {
 public:
  explicit DealDriversThread(DriveManager& manager);
  ~DealDriversThread() override;

  // One pass (also run by tests through a short pass interval).
  void Pass();

 protected:
  std::uint32_t Run() override;

 private:
  struct TakenIndex {
    std::string path;
  };

  void ScanDateFolders();
  void DeletionStep(int hours);
  // Adds the index of `date` on each drive whose oldest hour is below `limit` (the first
  // one found sets the reference hour when `reference` is still -1).
  void TakeIndexes(const std::string& date, int* reference, int hours, bool first_date,
                   std::vector<TakenIndex>& taken);
  void DeleteFromIndex(const std::string& index_path, int hour_limit);
  void DeleteFolderTree(const std::string& folder);
  void RemoveDateFolders(const std::string& date_folder);
  void Notify(unsigned message);

  DriveManager& manager_;
  std::vector<std::string> date_list_;  // ascending by year, month, day
  int df_hours_ = 0;                    // working copy for the current pass
};

}  // namespace stordane
