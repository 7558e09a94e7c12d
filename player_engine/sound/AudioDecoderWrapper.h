#pragma once

#include <cstdint>
#include <memory>

#include "player_engine/Component.h"
#include "player_engine/demuxers/Demuxer.h"
#include "player_engine/sound/AcmAudioDecoder.h"

namespace pellix {

// The port's audio decoder: makes a new AcmAudioDecoder at every open and destroys it at
// close, forwarding to it; without one every operation answers 0. UI thread, except
// DecodePiece (see AcmAudioDecoder).
class AudioDecoderWrapper final : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::AudioDecoder; }
    const char* DisplayName() const override { return active_ ? active_->DisplayName() : "Audio Decoder Wrapper"; }

    bool Open(Demuxer* splitter);
    void Close() { active_.reset(); }
    bool IsOpen() const { return active_ != nullptr; }
    // PCM bytes produced from one 256-byte source piece; 0 when closed.
    uint32_t OutputPieceBytes() const { return active_ ? active_->OutputPieceBytes() : 0; }
    const platform::WAVEFORMATEX* OutputFormat() const { return active_ ? &active_->OutputFormat() : nullptr; }
    bool DecodePiece(AudioPiece& entry) { return active_ && active_->DecodePiece(entry); }

private:
    std::unique_ptr<AcmAudioDecoder> active_;
};

}  // namespace pellix
