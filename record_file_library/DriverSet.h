#pragma once
// The recording drives the drive manager works on: letters in order, a mask of the letters
// that may become current, and the current one.
//
// Threads: every member is guarded by lock_; the queries may be called from any thread.

#include <cstdint>
#include <string>

#include "platform/Sync.h"

namespace stordane {

class DriverSet {
 public:
  // `letters`: one character per drive ("DE"); bit i of `usable_mask` allows letter i to be
  // switched to. A `current` outside the letters is taken as 0.
  void Configure(const std::string& letters, std::uint32_t usable_mask, int current);

  std::string Letters() const;
  // "X:\" of the current drive, "" when there is none.
  std::string CurrentRoot() const;
  // Free space of the current drive in MB available to the caller; 0 without drives.
  std::uint64_t GetCurDiskSpace() const;
  // Makes the first other usable drive with at least `threshold_mb` free current, searching
  // from the one after the current and wrapping. False (nothing changes) when none qualifies.
  bool Switch(std::uint64_t threshold_mb);

  // Free space in MB of the drive whose root is `root` ("X:\"); 0 when it is not a fixed
  // drive or cannot be queried.
  static std::uint64_t FreeSpaceMb(const std::string& root);

 private:
  mutable platform::CriticalSection lock_;
  // Guarded by lock_.
  std::string letters_;
  std::uint32_t usable_mask_ = 0;
  int current_ = 0;
};

}  // namespace stordane
