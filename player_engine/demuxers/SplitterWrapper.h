#pragma once

#include <memory>
#include <span>
#include <vector>

#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// The port's splitter: chooses the demuxer for the source that was opened and forwards every
// operation to it; without one, each answers 0. Open and Close run on the UI thread while the
// port does not play; the other operations inherit the demuxer's own locking.
class SplitterWrapper final : public Demuxer {
public:
    explicit SplitterWrapper(int port);
    ~SplitterWrapper() override;

    const char* DisplayName() const override { return "MPEG4 Splitter Wrapper"; }

    Demuxer* Active() const { return active_.get(); }
    // The video FourCC as four characters, or "NULL" without a demuxer.
    std::string FourCCText() const;

    bool Open(Input* source) override;
    void Close() override;
    bool HasVideo() const override;
    bool HasAudio() const override;
    bool TrailerFlag() const override;
    int Width() const override;
    int Height() const override;
    double FrameRate() const override;
    const std::vector<uint8_t>& VideoFormat() const override;
    uint32_t VideoFourCC() const override;
    uint32_t CurrentFrameNumber() const override;
    uint32_t CurrentAudioBlock() const override;
    uint32_t FrameCount() const override;
    uint32_t AudioStreamCount() const override;
    uint32_t LengthMs() const override;
    uint32_t AudioLengthMs() const override;
    double PlayPosition() const override;
    double AudioPosition() const override;
    int BitsPerSample() const override;
    int Channels() const override;
    int SampleRate() const override;
    const std::vector<uint8_t>& AudioFormat() const override;
    uint32_t NextFrameSize() const override;
    bool ReadFrame(int direction, VideoFrameRecord& frame) override;
    std::span<const uint8_t> ReadAudio(uint32_t bytes) override;
    bool SeekAudio(int64_t byte_position) override;
    bool SeekToFrame(int64_t frame, FrameOrigin origin) override;
    bool AlignAudioWithVideo() override;
    bool SeekToPosition(double position) override;
    bool Rewind() override;
    bool NextKeyFrame() override;
    bool PreviousKeyFrame() override;
    bool StoreVerify(const VerifySettings& settings) override;

private:
    const int port_;
    std::unique_ptr<Demuxer> active_;
    VerifySettings verify_;
};

}  // namespace pellix
