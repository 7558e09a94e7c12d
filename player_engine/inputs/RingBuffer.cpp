#include "player_engine/inputs/RingBuffer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace pellix {

void RingBuffer::Resize(size_t capacity_bytes) {
    std::lock_guard guard(lock_);
    bytes_.assign(capacity_bytes, 0);
    bytes_.shrink_to_fit();
    read_index_ = 0;
    count_ = 0;
}

void RingBuffer::Clear() {
    std::lock_guard guard(lock_);
    read_index_ = 0;
    count_ = 0;
}

bool RingBuffer::Write(const uint8_t* data, size_t bytes) {
    std::lock_guard guard(lock_);
    if (bytes == 0) return true;
    if (data == nullptr || bytes > bytes_.size() - count_) return false;
    const size_t capacity = bytes_.size();
    const size_t write_index = (read_index_ + count_) % capacity;
    const size_t first = std::min(bytes, capacity - write_index);
    std::memcpy(bytes_.data() + write_index, data, first);
    std::memcpy(bytes_.data(), data + first, bytes - first);
    count_ += bytes;
    return true;
}

size_t RingBuffer::PeekLocked(uint8_t* out, size_t bytes) const {
    const size_t take = std::min(bytes, count_);
    if (take == 0) return 0;
    const size_t capacity = bytes_.size();
    const size_t first = std::min(take, capacity - read_index_);
    std::memcpy(out, bytes_.data() + read_index_, first);
    std::memcpy(out + first, bytes_.data(), take - first);
    return take;
}

size_t RingBuffer::Peek(uint8_t* out, size_t bytes) const {
    std::lock_guard guard(lock_);
    return PeekLocked(out, bytes);
}

size_t RingBuffer::Read(uint8_t* out, size_t bytes) {
    std::lock_guard guard(lock_);
    const size_t take = PeekLocked(out, bytes);
    if (take > 0) {
        read_index_ = (read_index_ + take) % bytes_.size();
        count_ -= take;
    }
    return take;
}

size_t RingBuffer::Discard(size_t bytes) {
    std::lock_guard guard(lock_);
    const size_t take = std::min(bytes, count_);
    if (take > 0) {
        read_index_ = (read_index_ + take) % bytes_.size();
        count_ -= take;
    }
    return take;
}

size_t RingBuffer::Available() const {
    std::lock_guard guard(lock_);
    return count_;
}

size_t RingBuffer::Capacity() const {
    std::lock_guard guard(lock_);
    return bytes_.size();
}

}  // namespace pellix
