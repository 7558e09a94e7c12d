#pragma once

// The local fixed drives the live client may record to, listed once when the main dialog is
// built. Drives that appear later are not seen until the next start.

#include <memory>
#include <string>
#include <vector>

#include "live_client/storage/MDisk.h"

class MDiskManager {
 public:
  // Enumerates the system's logical drives and keeps one entry per fixed drive, in the order
  // the system lists them.
  MDiskManager();
  MDiskManager(const MDiskManager&) = delete;
  MDiskManager& operator=(const MDiskManager&) = delete;

  // Re-reads the drive whose root equals `root` (without case) and returns its free MiB; the
  // previous value when the system cannot answer; -1 when no entry has that root (also for
  // ""). Any thread.
  int FreeSpaceMB(const std::string& root);
  // Total MiB of that entry as last read, or -1. Any thread.
  int TotalSpaceMB(const std::string& root) const;
  // Root of entry k, or "" when entry k is the system drive or k is not an entry.
  std::string RootAt(int k) const;
  int Count() const { return static_cast<int>(m_disks.size()); }
  // Entry k, or null.
  const MDisk* DiskAt(int k) const;

 private:
  MDisk* Find(const std::string& root) const;

  std::vector<std::unique_ptr<MDisk>> m_disks;  // Immutable after construction
  char m_cSystemDrive = 0;                       // Immutable after construction
};
