#include "tests/support/FakeDiskSpace.h"

#include <cctype>

namespace suite::test {

FakeDiskSpace::FakeDiskSpace() {
  previous_ = platform::SetDiskSpaceProvider(
      [this](const std::string& host_root, platform::DiskSpace& space) { return Answer(host_root, space); });
}

FakeDiskSpace::~FakeDiskSpace() { platform::SetDiskSpaceProvider(previous_); }

void FakeDiskSpace::Set(char letter, std::uint64_t free_mb, std::uint64_t total_mb) {
  std::lock_guard<std::mutex> guard(lock_);
  platform::DiskSpace& space = sizes_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))];
  space.free_bytes_available = free_mb << 20;
  space.total_free_bytes = free_mb << 20;
  space.total_bytes = total_mb << 20;
}

void FakeDiskSpace::SetVolume(char letter, std::uint64_t available_mb, std::uint64_t free_mb,
                              std::uint64_t total_mb) {
  std::lock_guard<std::mutex> guard(lock_);
  platform::DiskSpace& space = sizes_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))];
  space.free_bytes_available = available_mb << 20;
  space.total_free_bytes = free_mb << 20;
  space.total_bytes = total_mb << 20;
}

void FakeDiskSpace::SetFolder(const std::string& host_folder, std::uint64_t free_mb, std::uint64_t total_mb) {
  std::lock_guard<std::mutex> guard(lock_);
  platform::DiskSpace& space = folders_[host_folder];
  space.free_bytes_available = free_mb << 20;
  space.total_free_bytes = free_mb << 20;
  space.total_bytes = total_mb << 20;
}

void FakeDiskSpace::Fail(char letter) {
  std::lock_guard<std::mutex> guard(lock_);
  sizes_.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

bool FakeDiskSpace::Answer(const std::string& host_root, platform::DiskSpace& space) {
  // The provider is given the host root; find which letter it stands for.
  for (const platform::DriveMapping& d : platform::CurrentDriveTable().drives) {
    if (d.root != host_root) continue;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = sizes_.find(d.letter);
    if (it == sizes_.end()) return false;
    space = it->second;
    return true;
  }
  std::lock_guard<std::mutex> guard(lock_);
  auto it = folders_.find(host_root);
  if (it == folders_.end()) return false;
  space = it->second;
  return true;
}

}  // namespace suite::test
