#include "live_client/storage/MDiskManager.h"

#include <cctype>
#include <cstdint>

#include "common/TraceMessage.h"
#include "platform/Paths.h"
#include "platform/TimeText.h"

namespace {

// Room for the drive strings the system lists: "X:\" and a zero per drive.
constexpr std::uint32_t kDriveStringsBuffer = 260;
constexpr std::uint32_t kDriveStringLength = 4;

}  // namespace

MDiskManager::MDiskManager() {
  const std::string systemFolder = platform::SystemFolder();
  if (!systemFolder.empty())
    m_cSystemDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(systemFolder[0])));

  char buffer[kDriveStringsBuffer] = {};
  std::uint32_t length = platform::GetLogicalDriveStrings(kDriveStringsBuffer, buffer);
  // A longer answer means the strings did not fit and nothing was written.
  if (length >= kDriveStringsBuffer) length = 0;
  const int count = static_cast<int>(length / kDriveStringLength);
  TraceMessage("dwLen = %d\n", count);
  if (length > 3) {
    for (int i = 1; i <= count; ++i) {
      const char* root = buffer + (i - 1) * kDriveStringLength;
      TraceMessage("TOTAL DRIVER: %d,  NUMBER: %d,   DISK: %s", count, i, root);
      if (platform::GetDriveType(root) == platform::kDriveFixed)
        m_disks.push_back(std::make_unique<MDisk>(root));
    }
  }
  TraceMessage("Useful disk num(include system driver): %d ", Count());
}

MDisk* MDiskManager::Find(const std::string& root) const {
  if (root.empty()) return nullptr;
  for (const auto& disk : m_disks)
    if (platform::EqualsNoCase(disk->Root(), root)) return disk.get();
  return nullptr;
}

int MDiskManager::FreeSpaceMB(const std::string& root) {
  MDisk* disk = Find(root);
  if (!disk) return -1;
  disk->Refresh();
  return disk->FreeMB();
}

int MDiskManager::TotalSpaceMB(const std::string& root) const {
  const MDisk* disk = Find(root);
  return disk ? disk->TotalMB() : -1;
}

std::string MDiskManager::RootAt(int k) const {
  const MDisk* disk = DiskAt(k);
  if (!disk || disk->Root().empty()) return {};
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(disk->Root()[0])));
  if (letter == m_cSystemDrive) return {};
  return disk->Root();
}

const MDisk* MDiskManager::DiskAt(int k) const {
  if (k < 0 || k >= Count()) return nullptr;
  return m_disks[static_cast<std::size_t>(k)].get();
}
