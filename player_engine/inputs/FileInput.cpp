#include "player_engine/inputs/FileInput.h"

#include <algorithm>
#include <cstring>

namespace pellix {

namespace {
constexpr size_t kReadAheadBytes = 64 * 1024;
}

bool FileInput::Open(const char* name, bool binary, bool stream) {
    (void)stream;
    Close();
    if (name == nullptr || name[0] == '\0') return false;
    if (!file_.Open(name, platform::File::Mode::Read)) return false;
    name_ = name;
    text_mode_ = !binary;
    size_bytes_ = file_.Size();
    if (size_bytes_ < 0) {
        Close();
        return false;
    }
    return true;
}

void FileInput::Close() {
    file_.Close();
    name_.clear();
    size_bytes_ = 0;
    position_ = 0;
    at_end_ = false;
    window_.clear();
    window_start_ = 0;
}

// Loads the window so that it starts at the current position; false at the end or on error.
bool FileInput::Fill() {
    window_.clear();
    window_start_ = position_;
    if (!file_.IsOpen() || position_ >= size_bytes_) return false;
    if (file_.Seek(position_, platform::File::Origin::Begin) != position_) return false;
    window_.resize(kReadAheadBytes);
    const int64_t got = file_.Read(window_.data(), window_.size());
    if (got <= 0) {
        window_.clear();
        return false;
    }
    window_.resize(static_cast<size_t>(got));
    return true;
}

size_t FileInput::Read(void* buffer, size_t bytes) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t copied = 0;
    while (copied < bytes) {
        const int64_t window_end = window_start_ + static_cast<int64_t>(window_.size());
        if (position_ < window_start_ || position_ >= window_end) {
            // Large reads bypass the window: a whole frame is read straight into place.
            const size_t wanted = bytes - copied;
            if (wanted >= kReadAheadBytes && file_.IsOpen()) {
                if (file_.Seek(position_, platform::File::Origin::Begin) != position_) break;
                const int64_t got = file_.Read(out + copied, wanted);
                if (got <= 0) break;
                copied += static_cast<size_t>(got);
                position_ += got;
                continue;
            }
            if (!Fill()) break;
            continue;
        }
        const size_t offset = static_cast<size_t>(position_ - window_start_);
        const size_t take = std::min(bytes - copied, window_.size() - offset);
        std::memcpy(out + copied, window_.data() + offset, take);
        copied += take;
        position_ += static_cast<int64_t>(take);
    }
    at_end_ = copied < bytes;
    return copied;
}

int64_t FileInput::Seek(int64_t offset, SeekOrigin origin) {
    if (!file_.IsOpen()) return -1;
    int64_t base = 0;
    switch (origin) {
        case SeekOrigin::Begin: base = 0; break;
        case SeekOrigin::Current: base = position_; break;
        case SeekOrigin::End: base = size_bytes_; break;
    }
    const int64_t target = base + offset;
    if (target < 0) return -1;
    position_ = target;
    at_end_ = false;
    return position_;
}

bool FileInput::ReadLine(char* line, size_t capacity) {
    if (line == nullptr || capacity == 0) return false;
    size_t length = 0;
    bool any = false;
    while (length + 1 < capacity) {
        char c = 0;
        if (Read(&c, 1) != 1) break;
        any = true;
        if (text_mode_ && c == '\r') continue;
        line[length++] = c;
        if (c == '\n') break;
    }
    line[length] = '\0';
    return any;
}

}  // namespace pellix
