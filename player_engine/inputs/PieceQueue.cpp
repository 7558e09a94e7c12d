#include "player_engine/inputs/PieceQueue.h"

#include <cstring>
#include <mutex>
#include <utility>

namespace pellix {

void PieceQueue::Create(size_t initial_bytes) {
    std::lock_guard guard(lock_);
    entries_.assign(kEntries, Entry{});
    for (Entry& entry : entries_) entry.data.reserve(initial_bytes);
    head_ = 0;
    count_ = 0;
}

void PieceQueue::Destroy() {
    std::lock_guard guard(lock_);
    entries_.clear();
    entries_.shrink_to_fit();
    head_ = 0;
    count_ = 0;
}

bool PieceQueue::IsCreated() const {
    std::lock_guard guard(lock_);
    return !entries_.empty();
}

bool PieceQueue::PushLocked(uint32_t value, bool key_frame, const uint8_t* data, size_t bytes) {
    if (entries_.empty() || count_ + 1 >= entries_.size()) return false;
    Entry& entry = entries_[(head_ + count_) % entries_.size()];
    entry.value = value;
    entry.key_frame = key_frame;
    entry.data.assign(data, data + bytes);
    ++count_;
    return true;
}

bool PieceQueue::Push(uint32_t value, bool key_frame, const uint8_t* data, size_t bytes) {
    std::lock_guard guard(lock_);
    return PushLocked(value, key_frame, data, bytes);
}

void PieceQueue::PushDroppingOldest(uint32_t value, bool key_frame, const uint8_t* data,
                                    size_t bytes) {
    std::lock_guard guard(lock_);
    if (entries_.empty()) return;
    if (count_ + 1 >= entries_.size()) {
        head_ = (head_ + 1) % entries_.size();
        --count_;
    }
    PushLocked(value, key_frame, data, bytes);
}

bool PieceQueue::Take(QueuedPiece& piece) {
    std::lock_guard guard(lock_);
    if (count_ == 0) return false;
    Entry& entry = entries_[head_];
    piece.value = entry.value;
    piece.key_frame = entry.key_frame;
    std::swap(piece.data, entry.data);
    head_ = (head_ + 1) % entries_.size();
    --count_;
    return true;
}

void PieceQueue::Clear() {
    std::lock_guard guard(lock_);
    head_ = 0;
    count_ = 0;
}

uint32_t PieceQueue::Count() const {
    std::lock_guard guard(lock_);
    return static_cast<uint32_t>(count_);
}

uint32_t PieceQueue::FrontSize() const {
    std::lock_guard guard(lock_);
    if (count_ == 0) return 0;
    return static_cast<uint32_t>(entries_[head_].data.size());
}

}  // namespace pellix
