#pragma once

// A window without a screen, for tests and unattended runs. It keeps the last picture presented,
// scaled to its client size as a screen window would show it, and counts presents. Its messages
// stay queued until the owner thread pumps them (Window::PumpMessages / PumpOneMessage).

#include "platform/Window.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

class MemoryWindow final : public Window {
 public:
  MemoryWindow(int width, int height);
  ~MemoryWindow() override;

  void Present(const Picture& picture) override;
  Rect ClientRect() const override;

  // Changes the client size; the kept picture is cleared (nothing is shown until the next
  // present), as a resized screen window repaints.
  void Resize(int width, int height);

  // Pictures presented so far.
  std::uint32_t PresentCount() const;
  // Copies the picture as shown into `bgra` (BGRA, stride width * 4, width * height * 4 bytes),
  // scaled again when width x height differs from the client size. False when nothing was
  // presented since the window was made or resized.
  bool CopyPixels(std::uint8_t* bgra, int width, int height) const;
  // The shown picture, client size, BGRA rows; empty before the first present.
  std::vector<std::uint8_t> Pixels() const;

 private:
  mutable std::mutex picture_lock_;
  // Guarded by picture_lock_.
  int width_;
  int height_;
  std::vector<std::uint8_t> shown_;
  std::uint32_t present_count_ = 0;
};

}  // namespace platform
