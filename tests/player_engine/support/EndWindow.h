#pragma once

#include <cstdint>
#include <vector>

#include "platform/Window.h"

namespace pellix::test {

// A memory window that a port plays into and that collects the end notifications posted to it.
class EndWindow {
public:
    explicit EndWindow(unsigned end_message, int width = 352, int height = 288);
    ~EndWindow();
    EndWindow(const EndWindow&) = delete;
    EndWindow& operator=(const EndWindow&) = delete;

    void* handle() const { return handle_; }
    platform::Window* window() const { return static_cast<platform::Window*>(handle_); }
    // Pumps messages until the first end notification or the time-out; true when one came.
    bool WaitForEnd(double timeout_s);
    void PumpFor(double seconds);
    int ends() const { return ends_; }
    int last_port() const { return last_port_; }
    // The pixels shown, BGRA; empty on failure.
    std::vector<uint8_t> Shown() const;

private:
    void* handle_;
    int width_, height_;
    int ends_ = 0;
    int last_port_ = -1;
};

}  // namespace pellix::test
