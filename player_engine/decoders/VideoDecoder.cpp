#include "player_engine/decoders/VideoDecoder.h"

#include <cstring>

namespace pellix {

namespace {
constexpr char kInfoMarker[4] = {'1', '5', 'd', 'c'};
// A frame that faults is passed over; this many in a row end the turn.
constexpr int kMaxFaultsInARow = 8;
}  // namespace

int64_t FindInfoBlock(const uint8_t* data, uint32_t size) {
    if (data == nullptr) return -1;
    for (uint32_t padding = 0; padding <= 1; ++padding) {
        if (size < kInfoBlockBytes + padding) continue;
        const uint32_t end = size - padding;
        if (std::memcmp(data + end - 4, kInfoMarker, 4) == 0) return static_cast<int64_t>(end - kInfoBlockBytes);
    }
    return -1;
}

bool VideoDecoder::DecodeOne(PictureEntry& entry, int direction, bool walking_back) {
    for (int attempt = 0; attempt < kMaxFaultsInARow; ++attempt) {
        VideoFrameRecord frame;
        if (splitter_ == nullptr || !splitter_->ReadFrame(direction, frame)) return false;
        uint32_t size = frame.size;
        const int64_t block = FindInfoBlock(frame.data, frame.size);
        if (block >= 0) {
            std::memcpy(entry.info.data(), frame.data + block, kInfoBlockBytes);
            size = static_cast<uint32_t>(block);
        }
        const DecompressResult result =
            Decompress(frame.data, size, frame.key_frame, walking_back, entry.picture.data());
        if (result == DecompressResult::Fault) {
            OnFault(splitter_->CurrentFrameNumber() - 1);
            if (direction <= 0) return false;
            continue;
        }
        entry.has_info = block >= 0;
        entry.frame_number = splitter_->CurrentFrameNumber();
        return result == DecompressResult::Picture;
    }
    return false;
}

void VideoDecoder::CatchUp(PictureEntry& entry) {
    const uint32_t target = splitter_->CurrentFrameNumber();
    if (target == 0 || target >= splitter_->FrameCount()) return;
    splitter_->SeekToFrame(static_cast<int64_t>(target) + 1, FrameOrigin::Begin);
    splitter_->PreviousKeyFrame();
    while (splitter_->CurrentFrameNumber() < target) {
        const uint32_t before = splitter_->CurrentFrameNumber();
        if (!DecodeOne(entry, 1, true) && splitter_->CurrentFrameNumber() == before) break;
    }
    splitter_->SeekToFrame(target, FrameOrigin::Begin);
}

void VideoDecoder::PlaceSplitter(uint32_t frame) {
    const uint32_t count = splitter_->FrameCount();
    if (frame < count || count == 0) {
        splitter_->SeekToFrame(frame, FrameOrigin::Begin);
        return;
    }
    // A splitter seeks no further than its last frame: reading that one leaves it at the end.
    VideoFrameRecord record;
    splitter_->SeekToFrame(static_cast<int64_t>(count) - 1, FrameOrigin::Begin);
    splitter_->ReadFrame(1, record);
}

bool VideoDecoder::PositionAt(PictureEntry& entry, uint32_t target) {
    const uint32_t count = splitter_->FrameCount();
    if (target >= count) {
        // At the end: nothing is left to show.
        if (!splitter_->SeekToFrame(0, FrameOrigin::Last)) {
            seekable_ = false;
            return false;
        }
        Restart();
        read_next_ = display_next_ = count;
        in_step_ = true;
        PlaceSplitter(count);
        return true;
    }
    if (!splitter_->SeekToFrame(static_cast<int64_t>(target) + 1, FrameOrigin::Begin)) {
        seekable_ = false;
        return false;
    }
    splitter_->PreviousKeyFrame();
    uint32_t key = splitter_->CurrentFrameNumber();
    if (key > target) key = 0;
    Restart();
    read_next_ = display_next_ = key;
    in_step_ = true;
    while (display_next_ < target) {
        if (!NextInDisplayOrder(entry, true)) break;
    }
    // A damaged group may give fewer pictures than it has frames: the numbers follow the
    // splitter rather than drift from it.
    display_next_ = target;
    PlaceSplitter(target);
    return true;
}

bool VideoDecoder::NextInDisplayOrder(PictureEntry& entry, bool walking_back) {
    const uint32_t count = splitter_->FrameCount();
    int faults = 0;
    for (;;) {
        if (read_next_ >= count) {
            // The file's end: the pictures the codec still holds come out one by one.
            if (DrainPicture(entry.picture.data()) != DecompressResult::Picture) {
                PlaceSplitter(count);
                return false;
            }
            break;
        }
        const uint32_t position = read_next_++;
        VideoFrameRecord frame;
        splitter_->SeekToFrame(position, FrameOrigin::Begin);
        if (!splitter_->ReadFrame(1, frame)) continue;   // an empty or unreadable chunk
        uint32_t size = frame.size;
        const int64_t block = FindInfoBlock(frame.data, frame.size);
        last_has_info_ = block >= 0;
        if (last_has_info_) {
            std::memcpy(last_info_.data(), frame.data + block, kInfoBlockBytes);
            size = static_cast<uint32_t>(block);
        }
        const DecompressResult result =
            Decompress(frame.data, size, frame.key_frame, walking_back, entry.picture.data());
        if (result == DecompressResult::Picture) break;
        if (result == DecompressResult::Fault) {
            OnFault(position);
            if (++faults >= kMaxFaultsInARow) {
                PlaceSplitter(display_next_);
                return false;
            }
        }
    }
    entry.info = last_info_;
    entry.has_info = last_has_info_;
    const uint32_t number = display_next_++;
    entry.frame_number = number + 1;
    PlaceSplitter(number + 1);
    return true;
}

bool VideoDecoder::DecodeInDisplayOrder(PictureEntry& entry, int direction) {
    const uint32_t at = splitter_->CurrentFrameNumber();
    if (direction > 0) {
        // The splitter stands just after the picture shown last unless it was moved.
        if (catch_up_ || !in_step_ || at != display_next_) {
            catch_up_ = false;
            if (!PositionAt(entry, at)) return false;
        }
        return NextInDisplayOrder(entry, false);
    }
    catch_up_ = false;
    // 0: the picture at the splitter, which stays where it is; -1: the picture before the
    // one last shown, which stands at the splitter's frame - 1.
    const uint32_t target = direction == 0 ? at : (at >= 2 ? at - 2 : 0);
    if (!PositionAt(entry, target)) return false;
    const bool decoded = NextInDisplayOrder(entry, direction < 0);
    if (direction == 0) {
        PlaceSplitter(at);
        in_step_ = false;
    }
    return decoded;
}

bool VideoDecoder::Decode(PictureEntry& entry, int direction) {
    if (splitter_ == nullptr || entry.picture.size() < OutputSize()) return false;
    if (ReordersPictures() && seekable_) {
        const bool decoded = DecodeInDisplayOrder(entry, direction);
        // A splitter that cannot seek (a pushed stream) has its frames decoded as they come.
        if (seekable_) return decoded;
    }
    if (direction >= 0) {
        // A picture decoded from a frame within a group without its references is wrong for
        // every inter codec, and the H.264 and H.265 decoders give none at all.
        if (catch_up_) {
            catch_up_ = false;
            CatchUp(entry);
        }
        return DecodeOne(entry, direction, false);
    }
    catch_up_ = false;

    // The picture before the one last shown: frame b - 2 when the splitter stands at b. Walk
    // forwards from the key frame at or before it, so that every reference is in place.
    const uint32_t after_shown = splitter_->CurrentFrameNumber();
    const uint32_t target = after_shown >= 2 ? after_shown - 2 : 0;
    splitter_->SeekToFrame(static_cast<int64_t>(target) + 1, FrameOrigin::Begin);
    splitter_->PreviousKeyFrame();
    bool decoded = false;
    while (splitter_->CurrentFrameNumber() <= target) {
        const uint32_t before = splitter_->CurrentFrameNumber();
        if (DecodeOne(entry, 1, true)) {
            decoded = true;
        } else if (splitter_->CurrentFrameNumber() == before) {
            break;   // a missing frame ends the walk
        }
    }
    return decoded;
}

bool VideoDecoder::SkipNextFrame() {
    // A reordering codec reads ahead of the splitter; a passed frame would leave its next
    // pictures without their references.
    if (ReordersPictures() && seekable_) return false;
    VideoFrameRecord frame;
    if (splitter_ == nullptr || !splitter_->ReadFrame(1, frame)) return false;
    if (frame.key_frame) {
        splitter_->SeekToFrame(-1, FrameOrigin::Current);
        return false;
    }
    return true;
}

}  // namespace pellix
