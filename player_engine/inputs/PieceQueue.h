#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Sync.h"
#include "player_engine/inputs/Input.h"

namespace pellix {

// A fixed ring of queue entries between a stream's parsing thread and its splitter. One
// entry always stays free, so 51 entries hold at most 50 waiting pieces. Entry buffers are
// kept and reused; taking a piece swaps buffers with the caller instead of copying. Every
// operation takes the queue's own lock and holds no other lock.
class PieceQueue {
public:
    static constexpr size_t kEntries = 51;

    // Makes the entries with buffers of `initial_bytes` capacity and empties the queue.
    void Create(size_t initial_bytes);
    void Destroy();
    bool IsCreated() const;

    // Copies a piece into the next free entry; false when the queue is full.
    bool Push(uint32_t value, bool key_frame, const uint8_t* data, size_t bytes);
    // Same, but a full queue first forgets its oldest piece; for pieces nobody may take.
    void PushDroppingOldest(uint32_t value, bool key_frame, const uint8_t* data, size_t bytes);
    bool Take(QueuedPiece& piece);
    void Clear();

    uint32_t Count() const;
    uint32_t FrontSize() const;

private:
    bool PushLocked(uint32_t value, bool key_frame, const uint8_t* data, size_t bytes);

    struct Entry {
        uint32_t value = 0;
        bool key_frame = false;
        std::vector<uint8_t> data;
    };
    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    std::vector<Entry> entries_;
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace pellix
