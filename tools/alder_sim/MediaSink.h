#pragma once

#include "device_sdk/Ferrow/FerrowWire.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace alder {

// The outgoing queue of one media connection. The channel's thread pushes, the
// connection's thread pops and writes, so a slow client never holds up other viewers. A
// full queue drops video until the next key frame.
class MediaSink {
public:
    void Push(ferrow::wire::Message message);
    // The next message, or nothing after timeout_ms or once closed.
    std::optional<ferrow::wire::Message> Pop(std::chrono::milliseconds timeout);
    void Close();
    bool closed() const;

private:
    static constexpr size_t kMaxQueuedBytes = 4u << 20;

    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::deque<ferrow::wire::Message> queue_;  // Guarded by lock_
    size_t queuedBytes_ = 0;                   // Guarded by lock_
    bool dropping_ = false;                    // Guarded by lock_: waiting for a key frame
    bool closed_ = false;                      // Guarded by lock_
};

}  // namespace alder
