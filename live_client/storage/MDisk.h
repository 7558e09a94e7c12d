#pragma once

// One local fixed drive of the live client: its root, label and last known size.

#include <atomic>
#include <string>

class MDisk {
 public:
  // Reads the drive's size, free space and volume label at once. `root` is "X:\".
  explicit MDisk(std::string root);
  MDisk(const MDisk&) = delete;
  MDisk& operator=(const MDisk&) = delete;

  // Re-reads size and free space from the system. False when the drive cannot be queried;
  // the last known values then stay. Any thread; two callers may refresh at the same time.
  bool Refresh();

  const std::string& Root() const { return m_strRoot; }
  const std::string& VolumeLabel() const { return m_strLabel; }
  // Sizes in MiB (bytes / 2^20, truncated), as last read.
  int TotalMB() const { return m_nTotalMB.load(); }
  // The volume's free space, not the part of it left to this user.
  int FreeMB() const { return m_nFreeMB.load(); }

 private:
  const std::string m_strRoot;  // Immutable after construction
  std::string m_strLabel;       // Written by the constructor only
  // Read by the UI thread, refreshed by the maintenance thread. 1 and 0 until the first
  // successful read, so a share computed from them never divides by zero.
  std::atomic<int> m_nTotalMB{1};
  std::atomic<int> m_nFreeMB{0};
};
