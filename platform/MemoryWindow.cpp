#include "platform/MemoryWindow.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

namespace platform {

namespace {

// Largest side a memory window accepts; beyond it a size is treated as a caller's mistake.
constexpr int kMaxSide = 16384;

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

// Nearest-neighbour scaling of BGRA rows; what a window shows when the picture and client sizes
// differ.
void ScaleBgra(const std::uint8_t* source, int source_width, int source_height, int source_stride,
               std::uint8_t* target, int target_width, int target_height) {
  for (int y = 0; y < target_height; ++y) {
    int source_y = static_cast<int>(static_cast<std::int64_t>(y) * source_height / target_height);
    const std::uint8_t* source_row = source + static_cast<std::size_t>(source_y) * source_stride;
    std::uint8_t* target_row = target + static_cast<std::size_t>(y) * target_width * 4;
    if (source_width == target_width) {
      std::memcpy(target_row, source_row, static_cast<std::size_t>(target_width) * 4);
      continue;
    }
    for (int x = 0; x < target_width; ++x) {
      int source_x = static_cast<int>(static_cast<std::int64_t>(x) * source_width / target_width);
      std::memcpy(target_row + x * 4, source_row + source_x * 4, 4);
    }
  }
}

}  // namespace

namespace {

// Every live memory window, so the C interface can check a handle before using it, and those made
// through the C interface, the only ones it may destroy. Both guarded by MemoryWindowsLock().
std::mutex& MemoryWindowsLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
std::unordered_set<void*>& LiveMemoryWindows() {
  static auto* live = new std::unordered_set<void*>;
  return *live;
}
std::unordered_set<void*>& Created() {
  static auto* created = new std::unordered_set<void*>;
  return *created;
}

MemoryWindow* FindMemoryWindow(void* handle) {
  return LiveMemoryWindows().count(handle)
             ? static_cast<MemoryWindow*>(static_cast<Window*>(handle))
             : nullptr;
}

}  // namespace

MemoryWindow::MemoryWindow(int width, int height)
    : width_(ValidSize(width, height) ? width : 1), height_(ValidSize(width, height) ? height : 1) {
  std::lock_guard<std::mutex> guard(MemoryWindowsLock());
  LiveMemoryWindows().insert(Handle());
}

MemoryWindow::~MemoryWindow() {
  CloseWindow();
  std::lock_guard<std::mutex> guard(MemoryWindowsLock());
  LiveMemoryWindows().erase(Handle());
  Created().erase(Handle());
}

void MemoryWindow::Present(const Picture& picture) {
  if (!picture.bgra || picture.width <= 0 || picture.height <= 0) return;
  int stride = picture.stride_bytes != 0 ? picture.stride_bytes : picture.width * 4;
  if (stride < picture.width * 4) return;
  std::lock_guard<std::mutex> guard(picture_lock_);
  shown_.resize(static_cast<std::size_t>(width_) * height_ * 4);
  ScaleBgra(picture.bgra, picture.width, picture.height, stride, shown_.data(), width_, height_);
  ++present_count_;
}

Rect MemoryWindow::ClientRect() const {
  std::lock_guard<std::mutex> guard(picture_lock_);
  return Rect{0, 0, width_, height_};
}

void MemoryWindow::Resize(int width, int height) {
  if (!ValidSize(width, height)) return;
  std::lock_guard<std::mutex> guard(picture_lock_);
  width_ = width;
  height_ = height;
  shown_.clear();
}

std::uint32_t MemoryWindow::PresentCount() const {
  std::lock_guard<std::mutex> guard(picture_lock_);
  return present_count_;
}

bool MemoryWindow::CopyPixels(std::uint8_t* bgra, int width, int height) const {
  if (!bgra || !ValidSize(width, height)) return false;
  std::lock_guard<std::mutex> guard(picture_lock_);
  if (shown_.empty()) return false;
  ScaleBgra(shown_.data(), width_, height_, width_ * 4, bgra, width, height);
  return true;
}

std::vector<std::uint8_t> MemoryWindow::Pixels() const {
  std::lock_guard<std::mutex> guard(picture_lock_);
  return shown_;
}


}  // namespace platform

extern "C" {

void* PlatformCreateMemoryWindow(int width, int height) {
  if (!platform::ValidSize(width, height)) return nullptr;
  try {
    auto* window = new platform::MemoryWindow(width, height);
    std::lock_guard<std::mutex> guard(platform::MemoryWindowsLock());
    platform::Created().insert(window->Handle());
    return window->Handle();
  } catch (...) {
    return nullptr;
  }
}

void PlatformDestroyWindow(void* window) {
  {
    std::lock_guard<std::mutex> guard(platform::MemoryWindowsLock());
    if (platform::Created().erase(window) == 0) return;
  }
  delete static_cast<platform::MemoryWindow*>(static_cast<platform::Window*>(window));
}

unsigned int PlatformWindowPresentCount(void* window) {
  std::lock_guard<std::mutex> guard(platform::MemoryWindowsLock());
  platform::MemoryWindow* memory = platform::FindMemoryWindow(window);
  return memory ? memory->PresentCount() : 0;
}

int PlatformWindowCopyPixels(void* window, unsigned char* bgra, int width, int height) {
  std::lock_guard<std::mutex> guard(platform::MemoryWindowsLock());
  platform::MemoryWindow* memory = platform::FindMemoryWindow(window);
  return memory && memory->CopyPixels(bgra, width, height) ? 1 : 0;
}

}  // extern "C"
