#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Sync.h"
#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// Reads a local AVI recording: walks the RIFF tree, builds a video and an audio index from
// idx1 (absolute or movi-relative offsets) or, when idx1 is missing or does not fit, by
// walking the movi list, then reads frames and audio bytes and seeks by index.
//
// Every length read from the file is checked against the bytes that remain before it is
// used; entries whose data would lie past the end of the file are left out of the index.
//
// Threads: Open and Close run on the UI thread while nothing plays. All reads, seeks and
// position queries take lock_; the stream facts are immutable after Open.
class AviDemuxer final : public Demuxer {
public:
    struct IndexEntry {
        uint64_t position = 0;   // of the chunk's data
        uint32_t size = 0;
        uint32_t flags = 0;      // video: 0x10 = key frame; audio: unused
        uint64_t earlier = 0;    // audio: bytes of all earlier audio chunks
    };

    const char* DisplayName() const override { return "AVI Demuxer"; }

    bool Open(Input* source) override;
    void Close() override;

    bool HasVideo() const override { return !video_index_.empty(); }
    bool HasAudio() const override { return !audio_index_.empty(); }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    double FrameRate() const override { return frame_rate_; }
    const std::vector<uint8_t>& VideoFormat() const override { return video_format_; }
    uint32_t VideoFourCC() const override { return handler_; }
    uint32_t CurrentFrameNumber() const override;
    uint32_t CurrentAudioBlock() const override;
    uint32_t FrameCount() const override { return static_cast<uint32_t>(video_index_.size()); }
    uint32_t AudioStreamCount() const override { return HasAudio() ? 1 : 0; }
    uint32_t LengthMs() const override;
    uint32_t AudioLengthMs() const override;
    double PlayPosition() const override;
    double AudioPosition() const override;
    int BitsPerSample() const override { return bits_per_sample_; }
    int Channels() const override { return channels_; }
    int SampleRate() const override { return sample_rate_; }
    const std::vector<uint8_t>& AudioFormat() const override { return audio_format_; }

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

    // Where the index came from, for tests and trace lines.
    enum class IndexSource { None, AbsoluteIdx1, RelativeIdx1, MoviWalk };
    IndexSource Source() const { return index_source_; }
    uint16_t AudioFormatTag() const { return format_tag_; }
    uint64_t TotalAudioBytes() const { return total_audio_bytes_; }
    uint64_t MoviPosition() const { return movi_position_; }

    // Byte position in the audio data that belongs to `frame`, as the recordings interleave
    // 8000 Hz IMA ADPCM in 256-byte blocks.
    static int64_t AudioBytePositionOfFrame(double frame_rate, int64_t frame);

private:
    struct TopLevel;
    bool WalkTopLevel(TopLevel& top);
    bool ParseHeaderList(const std::vector<uint8_t>& hdrl);
    bool IndexFromIdx1(const std::vector<uint8_t>& idx1);
    void IndexFromMovi(uint64_t movi_end);
    bool ChunkAt(uint64_t position, uint32_t id, uint32_t size);
    bool IsVideoId(uint32_t id) const;
    bool IsAudioId(uint32_t id) const;
    void AddEntry(uint32_t id, uint64_t position, uint32_t size, uint32_t flags);
    bool SeekAudioLocked(int64_t byte_position);
    void RunSignatureCheck();

    Input* source_ = nullptr;   // The port's file source; not owned
    int64_t file_bytes_ = 0;

    // Immutable after Open.
    uint32_t handler_ = 0;
    double frame_rate_ = 0.0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> video_format_;
    std::vector<uint8_t> audio_format_;
    uint16_t format_tag_ = 0;
    int channels_ = 0;
    int sample_rate_ = 0;
    int bits_per_sample_ = 0;
    int video_stream_ = 99;     // stream numbers counted from 1; 99 = none
    int audio_stream_ = 99;
    uint64_t movi_position_ = 0;
    std::vector<IndexEntry> video_index_;
    std::vector<IndexEntry> audio_index_;
    uint64_t total_audio_bytes_ = 0;
    IndexSource index_source_ = IndexSource::None;
    VerifySettings verify_;

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    size_t current_video_ = 0;
    size_t current_audio_ = 0;
    uint32_t audio_offset_ = 0;
    std::vector<uint8_t> frame_buffer_;
    std::vector<uint8_t> audio_buffer_;
};

}  // namespace pellix
