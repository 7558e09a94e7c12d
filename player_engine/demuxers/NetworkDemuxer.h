#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// The splitter of a pushed stream: takes the frames its stream source has queued, in order.
// It cannot seek and offers no sound to the player. The counter is the only changing state;
// the source's queues carry their own locks.
class NetworkDemuxer final : public Demuxer {
public:
    const char* DisplayName() const override { return "Network Demuxer"; }

    bool Open(Input* source) override;
    void Close() override;

    bool HasVideo() const override { return video_streams_ > 0; }
    bool HasAudio() const override { return false; }
    bool TrailerFlag() const override { return trailers_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    double FrameRate() const override { return frame_rate_; }
    const std::vector<uint8_t>& VideoFormat() const override { return video_format_; }
    uint32_t VideoFourCC() const override { return fourcc_; }
    uint32_t CurrentFrameNumber() const override { return counter_.load(); }
    uint32_t FrameCount() const override { return frame_count_; }
    uint32_t AudioStreamCount() const override { return audio_streams_; }
    double PlayPosition() const override;
    int BitsPerSample() const override { return bits_per_sample_; }
    int Channels() const override { return channels_; }
    int SampleRate() const override { return sample_rate_; }
    const std::vector<uint8_t>& AudioFormat() const override { return audio_format_; }

    uint32_t NextFrameSize() const override;
    bool ReadFrame(int direction, VideoFrameRecord& frame) override;
    std::span<const uint8_t> ReadAudio(uint32_t bytes) override;

private:
    Input* source_ = nullptr;   // The port's stream source; not owned
    // Immutable after Open.
    int width_ = 0;
    int height_ = 0;
    double frame_rate_ = 0.0;
    uint32_t fourcc_ = 0;
    uint32_t frame_count_ = 0;
    uint32_t video_streams_ = 0;
    uint32_t audio_streams_ = 0;
    bool trailers_ = false;
    int channels_ = 0;
    int sample_rate_ = 0;
    int bits_per_sample_ = 0;
    std::vector<uint8_t> video_format_;
    std::vector<uint8_t> audio_format_;
    // Playback thread only.
    QueuedPiece frame_;
    QueuedPiece audio_;
    std::atomic<uint32_t> counter_{0};
};

}  // namespace pellix
