#include "player_engine/decoders/VideoFrameBuffer.h"

namespace pellix {

bool VideoFrameBuffer::SetCount(uint32_t frames) {
    if (open_ || frames < kMinFrames || frames > kMaxFrames) return false;
    frames_ = frames;
    return true;
}

}  // namespace pellix
