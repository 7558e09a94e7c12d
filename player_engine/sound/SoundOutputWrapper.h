#pragma once

#include <cstdint>

#include "player_engine/Component.h"

namespace pellix {

// The port's sound output. It holds an output only between Play and Stop; without one every
// operation answers 0.
class SoundOutputWrapper final : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::SoundOutput; }
    const char* DisplayName() const override { return "Audio Renderer Wrapper"; }

    bool IsOpen() const { return false; }
    bool SetVolume(uint16_t volume) { (void)volume; return IsOpen(); }
    void Close() {}
};

}  // namespace pellix
