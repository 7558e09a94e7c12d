#include "record_file_library/DriverSet.h"

#include <mutex>

#include "platform/Paths.h"

namespace stordane {

void DriverSet::Configure(const std::string& letters, std::uint32_t usable_mask, int current) {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  letters_ = letters;
  usable_mask_ = usable_mask;
  current_ = (current >= 0 && current < static_cast<int>(letters_.size())) ? current : 0;
}

std::string DriverSet::Letters() const {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  return letters_;
}

std::string DriverSet::CurrentRoot() const {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  if (letters_.empty()) return std::string();
  return std::string(1, letters_[static_cast<std::size_t>(current_)]) + ":\\";
}

std::uint64_t DriverSet::FreeSpaceMb(const std::string& root) {
  if (platform::GetDriveType(root) != platform::kDriveFixed) return 0;
  platform::DiskSpace space;
  if (!platform::GetDiskFreeSpace(root, space)) return 0;
  return space.free_bytes_available >> 20;
}

std::uint64_t DriverSet::GetCurDiskSpace() const {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  if (letters_.empty()) return 0;
  return FreeSpaceMb(std::string(1, letters_[static_cast<std::size_t>(current_)]) + ":\\");
}

bool DriverSet::Switch(std::uint64_t threshold_mb) {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  const int count = static_cast<int>(letters_.size());
  for (int step = 1; step < count; ++step) {
    const int i = (current_ + step) % count;
    if (i >= 32 || (usable_mask_ & (1u << i)) == 0) continue;
    if (FreeSpaceMb(std::string(1, letters_[static_cast<std::size_t>(i)]) + ":\\") >= threshold_mb) {
      current_ = i;
      return true;
    }
  }
  return false;
}

}  // namespace stordane
