#pragma once

#include <cstdint>
#include <vector>

#include "platform/Sync.h"
#include "player_engine/Component.h"
#include "player_engine/sound/AcmAudioDecoder.h"

namespace pellix {

class AudioDecoderWrapper;

// The ring of decoded sound pieces the sound output pulls from: C + 1 entries, C = 8 at
// rest and n + 5 for a display-buffer setting n of 3 to 15, changeable only while closed.
// Pieces are decoded on the thread that takes them (the sound output's timer, or a control
// operation that refills the output), under the ring's lock.
class AudioPieceBuffer final : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::AudioBuffer; }
    const char* DisplayName() const override { return "Default Audio Buffer"; }

    bool SetCount(uint32_t frames);
    // The piece count while open, else 0.
    uint32_t Count() const;
    uint32_t ConfiguredPieces() const { return pieces_; }
    bool IsOpen() const;
    // Refused for a component that is not an audio decoder, or while open. The decoder must
    // outlive Close.
    bool Open(Component* decoder);
    void Close();
    // The next piece, decoded now; null when there is none. Valid until the next take.
    const AudioPiece* TakeNext();
    uint32_t Delivered() const;

private:
    uint16_t pieces_ = 8;   // UI thread

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    AudioDecoderWrapper* decoder_ = nullptr;
    std::vector<AudioPiece> entries_;
    size_t next_ = 0;
    uint32_t delivered_ = 0;
    uint32_t last_number_ = 0;
};

}  // namespace pellix
