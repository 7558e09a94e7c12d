#include "live_client/storage/MDisk.h"

#include <climits>
#include <cstdint>
#include <utility>

#include "platform/Paths.h"

namespace {

// Sizes are kept in 32-bit MiB; a volume beyond that reads as the largest count rather than
// wrapping to a negative size that would look like a full drive.
int ToMB(std::uint64_t bytes) {
  const std::uint64_t mb = bytes >> 20;
  return mb > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(mb);
}

}  // namespace

MDisk::MDisk(std::string root) : m_strRoot(std::move(root)) {
  Refresh();
  platform::GetVolumeLabel(m_strRoot, m_strLabel);
}

bool MDisk::Refresh() {
  platform::DiskSpace space;
  if (!platform::GetDiskFreeSpace(m_strRoot, space)) return false;
  m_nTotalMB.store(ToMB(space.total_bytes));
  m_nFreeMB.store(ToMB(space.total_free_bytes));
  return true;
}
