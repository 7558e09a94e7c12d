#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Sync.h"

namespace pellix {

// The byte ring of a pushed stream: one contiguous array written by the application's
// feeding thread and read by the stream's parsing thread. Every operation takes the ring's
// own lock and holds no other lock.
class RingBuffer {
public:
    // Re-makes the ring with `capacity_bytes` and empties it.
    void Resize(size_t capacity_bytes);
    void Clear();

    // Appends all `bytes` or nothing: a write larger than the free space is refused whole, so
    // a caller can retry the same piece later without the stream losing its place.
    bool Write(const uint8_t* data, size_t bytes);
    // Copies up to `bytes` from the read position without consuming them.
    size_t Peek(uint8_t* out, size_t bytes) const;
    // Copies and consumes up to `bytes`.
    size_t Read(uint8_t* out, size_t bytes);
    // Consumes up to `bytes` without copying them.
    size_t Discard(size_t bytes);

    size_t Available() const;
    size_t Capacity() const;

private:
    size_t PeekLocked(uint8_t* out, size_t bytes) const;

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    std::vector<uint8_t> bytes_;
    size_t read_index_ = 0;
    size_t count_ = 0;
};

}  // namespace pellix
