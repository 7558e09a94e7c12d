#pragma once

#include <functional>

#include "platform/Thread.h"

namespace pellix {

// The port's playback thread, `videoThread`: runs one body, which returns when the port
// stops playing. Made suspended and started by Play; its owner waits for it at Stop.
class PlaybackThread final : public platform::Thread {
public:
    explicit PlaybackThread(std::function<void()> body) : body_(std::move(body)) {}
    ~PlaybackThread() override { KillThread(); }

    // Waits for the body to return; the body must already have been told to end.
    bool Join() { return KillThread(); }

protected:
    uint32_t Run() override {
        body_();
        return 0;
    }

private:
    std::function<void()> body_;
};

}  // namespace pellix
