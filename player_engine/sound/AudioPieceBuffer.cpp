#include "player_engine/sound/AudioPieceBuffer.h"

namespace pellix {

bool AudioPieceBuffer::SetCount(uint32_t frames) {
    if (open_ || frames < 3 || frames > 15) return false;
    pieces_ = static_cast<uint16_t>(frames + 5);
    return true;
}

}  // namespace pellix
