#include "player_engine/sound/AudioPieceBuffer.h"

#include <mutex>

#include "common/TraceMessage.h"
#include "player_engine/sound/AudioDecoderWrapper.h"

namespace pellix {

bool AudioPieceBuffer::SetCount(uint32_t frames) {
    if (IsOpen() || frames < 3 || frames > 15) return false;
    pieces_ = static_cast<uint16_t>(frames + 5);
    return true;
}

uint32_t AudioPieceBuffer::Count() const {
    std::lock_guard guard(lock_);
    return decoder_ != nullptr ? pieces_ : 0;
}

bool AudioPieceBuffer::IsOpen() const {
    std::lock_guard guard(lock_);
    return decoder_ != nullptr;
}

bool AudioPieceBuffer::Open(Component* decoder) {
    std::lock_guard guard(lock_);
    if (decoder == nullptr || decoder->Kind() != ComponentKind::AudioDecoder || decoder_ != nullptr) return false;
    auto* audio = dynamic_cast<AudioDecoderWrapper*>(decoder);
    if (audio == nullptr || audio->OutputPieceBytes() == 0) return false;
    entries_.assign(static_cast<size_t>(pieces_) + 1, AudioPiece{});
    for (AudioPiece& entry : entries_) entry.bytes.assign(audio->OutputPieceBytes(), 0);
    decoder_ = audio;
    next_ = 0;
    delivered_ = 0;
    return true;
}

void AudioPieceBuffer::Close() {
    std::lock_guard guard(lock_);
    decoder_ = nullptr;
    entries_.clear();
    entries_.shrink_to_fit();
}

const AudioPiece* AudioPieceBuffer::TakeNext() {
    std::lock_guard guard(lock_);
    if (decoder_ == nullptr || entries_.empty()) {
        TraceMessage("PreGet NULL");
        return nullptr;
    }
    AudioPiece& entry = entries_[next_];
    if (!decoder_->DecodePiece(entry)) return nullptr;
    next_ = (next_ + 1) % entries_.size();
    ++delivered_;
    last_number_ = entry.number;
    return &entry;
}

uint32_t AudioPieceBuffer::Delivered() const {
    std::lock_guard guard(lock_);
    return delivered_;
}

}  // namespace pellix
