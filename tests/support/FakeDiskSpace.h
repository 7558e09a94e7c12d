#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/Paths.h"

namespace suite::test {

// Replaces the disk-space measurement of the platform with sizes set by the test, per drive
// letter, and restores the previous provider when destroyed. A letter without sizes reads as
// a drive that cannot be queried. Sizes may change while the system runs (any thread).
class FakeDiskSpace {
 public:
  FakeDiskSpace();
  ~FakeDiskSpace();
  FakeDiskSpace(const FakeDiskSpace&) = delete;
  FakeDiskSpace& operator=(const FakeDiskSpace&) = delete;

  // Free space available to the caller and volume size in MiB.
  void Set(char letter, std::uint64_t free_mb, std::uint64_t total_mb);
  // A volume whose free space differs from what the caller may use (space kept for the
  // system): `available_mb` for the caller, `free_mb` in all.
  void SetVolume(char letter, std::uint64_t available_mb, std::uint64_t free_mb, std::uint64_t total_mb);
  // Sizes of the file system holding host folder `host_folder` (outside the drive table).
  void SetFolder(const std::string& host_folder, std::uint64_t free_mb, std::uint64_t total_mb);
  // Makes the drive fail its next queries (as a removed drive would).
  void Fail(char letter);

 private:
  bool Answer(const std::string& host_root, platform::DiskSpace& space);

  std::mutex lock_;
  std::map<char, platform::DiskSpace> sizes_;  // Guarded by lock_
  std::map<std::string, platform::DiskSpace> folders_;  // Guarded by lock_
  platform::DiskSpaceProvider previous_;
};

}  // namespace suite::test
