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

bool VideoDecoder::Decode(PictureEntry& entry, int direction) {
    if (splitter_ == nullptr || entry.picture.size() < OutputSize()) return false;
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
    VideoFrameRecord frame;
    if (splitter_ == nullptr || !splitter_->ReadFrame(1, frame)) return false;
    if (frame.key_frame) {
        splitter_->SeekToFrame(-1, FrameOrigin::Current);
        return false;
    }
    return true;
}

}  // namespace pellix
