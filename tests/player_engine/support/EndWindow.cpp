#include "tests/player_engine/support/EndWindow.h"

#include <chrono>

namespace pellix::test {

EndWindow::EndWindow(unsigned end_message, int width, int height)
    : handle_(PlatformCreateMemoryWindow(width, height)), width_(width), height_(height) {
    window()->SetMessageHandler([this, end_message](const platform::Message& m) -> platform::LRESULT {
        if (m.message == end_message) {
            ++ends_;
            last_port_ = static_cast<int>(m.wParam);
        }
        return 0;
    });
}

EndWindow::~EndWindow() { PlatformDestroyWindow(handle_); }

bool EndWindow::WaitForEnd(double timeout_s) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (ends_ == 0 && std::chrono::steady_clock::now() < until)
        window()->PumpOneMessage(std::chrono::milliseconds(20));
    return ends_ > 0;
}

void EndWindow::PumpFor(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) window()->PumpOneMessage(std::chrono::milliseconds(20));
}

std::vector<uint8_t> EndWindow::Shown() const {
    std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
    if (PlatformWindowCopyPixels(handle_, pixels.data(), width_, height_) != 1) pixels.clear();
    return pixels;
}

}  // namespace pellix::test
