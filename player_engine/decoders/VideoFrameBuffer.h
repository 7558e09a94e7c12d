#pragma once

#include <cstdint>

#include "player_engine/Component.h"

namespace pellix {

// The ring of decoded pictures between the video decoder and the playback thread: N + 1
// entries, N from 3 to 15. Its size may change only while it is not open. UI thread.
class VideoFrameBuffer final : public Component {
public:
    static constexpr uint32_t kMinFrames = 3;
    static constexpr uint32_t kMaxFrames = 15;

    ComponentKind Kind() const override { return ComponentKind::VideoFrameBuffer; }
    const char* DisplayName() const override { return "Default Video Buffer"; }

    // False for a count outside 3..15 or while open.
    bool SetCount(uint32_t frames);
    uint32_t Count() const { return frames_; }
    uint32_t Entries() const { return frames_ + 1; }
    bool IsOpen() const { return open_; }
    void Close() { open_ = false; }

private:
    uint32_t frames_ = kMinFrames;
    bool open_ = false;
};

}  // namespace pellix
