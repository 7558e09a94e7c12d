#pragma once

#include <cstdint>

#include "player_engine/Component.h"

namespace pellix {

// The ring of decoded sound pieces the sound output pulls from: C + 1 entries, C = 8 at
// rest and n + 5 for a display-buffer setting n of 3 to 15, changeable only while not open.
class AudioPieceBuffer final : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::AudioBuffer; }
    const char* DisplayName() const override { return "Default Audio Buffer"; }

    bool SetCount(uint32_t frames);
    // The piece count while open, else 0.
    uint32_t Count() const { return open_ ? pieces_ : 0; }
    uint32_t ConfiguredPieces() const { return pieces_; }
    bool IsOpen() const { return open_; }
    void Close() { open_ = false; }

private:
    uint16_t pieces_ = 8;
    bool open_ = false;
};

}  // namespace pellix
