#pragma once

#include <cstdint>
#include <vector>

#include "platform/Sync.h"
#include "player_engine/Component.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// The ring of decoded pictures between the video decoder and the playback thread: N + 1
// entries, N from 3 to 15. Pictures are decoded on the thread that takes them, under the
// ring's lock, so a paused port decodes nothing. The size may change only while closed.
//
// Threads: Open/Close/SetCount on the UI thread while the port does not play; the takes
// from the playback thread or from control operations while that thread is held.
// A given entry stays valid until N further takes or Close.
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
    bool IsOpen() const { return decoder_ != nullptr; }

    // Refused for a component that is not a video decoder, or while open. Allocates every
    // entry's picture at the decoder's output size. The decoder must outlive Close.
    bool Open(Component* decoder);
    void Close();

    // The next picture, decoded now; null when the decoder gives none.
    PictureEntry* TakeNext();
    // The picture before the one last shown, decoded forwards from the key frame before it.
    PictureEntry* TakePrevious();
    // The picture last given, again; after Reposition (or before any take) the picture at
    // the splitter's position, decoded in place.
    PictureEntry* TakeCurrent();
    // Passes over the next frame without decoding it; false for a key frame (left in place).
    bool SkipNext();
    // The splitter moved: the next TakeCurrent decodes at the new position.
    void Reposition();
    // Pictures delivered since Open.
    uint32_t Delivered() const;

private:
    PictureEntry* DecodeInto(size_t index, int direction);

    uint32_t frames_ = kMinFrames;   // UI thread

    mutable platform::CriticalSection lock_;
    // Guarded by lock_ (and only changed by Open/Close while nothing takes).
    VideoDecoder* decoder_ = nullptr;
    std::vector<PictureEntry> entries_;
    size_t last_ = 0;           // the entry given last
    bool has_last_ = false;
    uint32_t delivered_ = 0;
};

}  // namespace pellix
