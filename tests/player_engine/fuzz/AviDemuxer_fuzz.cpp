// libFuzzer target: any bytes as an AVI file, opened and read through every operation.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/Input.h"

namespace {

// A file source over bytes in memory, so each input runs without touching the disk.
class MemoryInput final : public pellix::Input {
public:
    MemoryInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    const char* DisplayName() const override { return "FILE Input"; }
    bool Open(const char*, bool, bool) override { return true; }
    void Close() override {}
    size_t Read(void* buffer, size_t bytes) override {
        if (position_ >= size_) return 0;
        const size_t n = bytes < size_ - position_ ? bytes : size_ - position_;
        if (n == 0) return 0;
        std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        return n;
    }
    int64_t Seek(int64_t offset, pellix::SeekOrigin origin) override {
        int64_t base = origin == pellix::SeekOrigin::Begin ? 0
                       : origin == pellix::SeekOrigin::Current ? static_cast<int64_t>(position_)
                                                               : static_cast<int64_t>(size_);
        if (base + offset < 0) return -1;
        position_ = static_cast<size_t>(base + offset);
        return static_cast<int64_t>(position_);
    }
    int64_t Size() const override { return static_cast<int64_t>(size_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

void Verified(int, void*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryInput input(data, size);
    pellix::AviDemuxer demuxer;
    if (size > 0 && (data[size - 1] & 1)) {
        pellix::VerifySettings verify;
        verify.end = 1000;
        verify.callback = &Verified;
        demuxer.StoreVerify(verify);
    }
    if (!demuxer.Open(&input)) return 0;
    pellix::VideoFrameRecord frame;
    for (uint32_t i = 0; i < demuxer.FrameCount() && i < 5000; ++i) demuxer.ReadFrame(1, frame);
    demuxer.ReadFrame(-1, frame);
    demuxer.ReadFrame(0, frame);
    demuxer.SeekToPosition(0.5);
    demuxer.PreviousKeyFrame();
    demuxer.NextKeyFrame();
    demuxer.AlignAudioWithVideo();
    demuxer.SeekToFrame(-1, pellix::FrameOrigin::Last);
    demuxer.CurrentAudioBlock();
    demuxer.AudioPosition();
    demuxer.SeekAudio(1000);
    for (int i = 0; i < 64 && !demuxer.ReadAudio(0xFFFF).empty(); ++i) {
    }
    return 0;
}
