#include "player_engine/decoders/VideoFrameBuffer.h"

#include <mutex>

namespace pellix {

bool VideoFrameBuffer::SetCount(uint32_t frames) {
    if (IsOpen() || frames < kMinFrames || frames > kMaxFrames) return false;
    frames_ = frames;
    return true;
}

bool VideoFrameBuffer::Open(Component* decoder) {
    std::lock_guard guard(lock_);
    if (decoder == nullptr || decoder->Kind() != ComponentKind::VideoDecoder || decoder_ != nullptr) return false;
    auto* video = static_cast<VideoDecoder*>(decoder);
    const uint32_t bytes = video->OutputSize();
    if (bytes == 0) return false;
    entries_.assign(Entries(), PictureEntry{});
    for (PictureEntry& entry : entries_) entry.picture.assign(bytes, 0);
    decoder_ = video;
    last_ = 0;
    has_last_ = false;
    delivered_ = 0;
    return true;
}

void VideoFrameBuffer::Close() {
    std::lock_guard guard(lock_);
    decoder_ = nullptr;
    entries_.clear();
    entries_.shrink_to_fit();
    has_last_ = false;
}

PictureEntry* VideoFrameBuffer::DecodeInto(size_t index, int direction) {
    if (decoder_ == nullptr || entries_.empty()) return nullptr;
    PictureEntry& entry = entries_[index];
    if (!decoder_->Decode(entry, direction)) return nullptr;
    last_ = index;
    has_last_ = true;
    ++delivered_;
    return &entry;
}

PictureEntry* VideoFrameBuffer::TakeNext() {
    std::lock_guard guard(lock_);
    if (entries_.empty()) return nullptr;
    return DecodeInto(has_last_ ? (last_ + 1) % entries_.size() : 0, 1);
}

PictureEntry* VideoFrameBuffer::TakePrevious() {
    std::lock_guard guard(lock_);
    if (entries_.empty()) return nullptr;
    return DecodeInto(has_last_ ? (last_ + entries_.size() - 1) % entries_.size() : 0, -1);
}

PictureEntry* VideoFrameBuffer::TakeCurrent() {
    std::lock_guard guard(lock_);
    if (entries_.empty()) return nullptr;
    // Decoding the frame at the splitter again would feed the codec one frame twice and
    // spoil the pictures that follow; the picture last given is the current one.
    if (has_last_) return &entries_[last_];
    return DecodeInto(0, 0);
}

bool VideoFrameBuffer::SkipNext() {
    std::lock_guard guard(lock_);
    return decoder_ != nullptr && decoder_->SkipNextFrame();
}

void VideoFrameBuffer::Reposition() {
    std::lock_guard guard(lock_);
    has_last_ = false;
    if (decoder_ != nullptr) decoder_->Repositioned();
}

uint32_t VideoFrameBuffer::Delivered() const {
    std::lock_guard guard(lock_);
    return delivered_;
}

}  // namespace pellix
