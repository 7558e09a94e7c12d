#include "player_engine/demuxers/NetworkDemuxer.h"

#include <cstring>

#include "common/TraceMessage.h"

namespace pellix {

namespace {
void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

bool NetworkDemuxer::Open(Input* source) {
    Close();
    StreamVideoInfo video;
    StreamAudioInfo audio;
    if (source == nullptr || source->Kind() != ComponentKind::Source || !source->GetStreamInfo(video, audio))
        return false;
    source_ = source;
    width_ = video.width;
    height_ = video.height;
    uint32_t rate = video.frame_rate;
    if (rate <= 100)
        TraceMessage("Connect_fps: %d", static_cast<int>(rate));
    else
        rate -= 100;   // devices add 100 to mark a rate they measured themselves
    frame_rate_ = rate;
    if (frame_rate_ == 0.0 || frame_rate_ == 23.0) frame_rate_ = 25.0;
    fourcc_ = video.compression;
    frame_count_ = video.frame_count;
    video_streams_ = video.video_streams;

    // A bitmap-information record of 44 bytes: the 40-byte header and the 4 codec bytes.
    video_format_.assign(44, 0);
    Put32(video_format_, 0, 44);
    Put32(video_format_, 4, video.width);
    Put32(video_format_, 8, video.height);
    Put16(video_format_, 12, 1);
    Put16(video_format_, 14, video.bit_count);
    Put32(video_format_, 16, video.compression);
    Put32(video_format_, 20, static_cast<uint32_t>(video.bit_count / 8u * video.width * video.height));
    Put32(video_format_, 32, video.height);
    Put32(video_format_, 36, video.height);
    std::memcpy(video_format_.data() + 40, video.codec_data, 4);

    channels_ = audio.channels;
    sample_rate_ = static_cast<int>(audio.sample_rate);
    bits_per_sample_ = audio.bits_per_sample;
    audio_streams_ = audio.samples_per_block;
    trailers_ = (audio.extra_size & 0x1) != 0 && audio_streams_ > 0;
    // The wave format the stream's sound would be decoded with.
    audio_format_.assign(18, 0);
    Put16(audio_format_, 0, audio.format_tag);
    Put16(audio_format_, 2, audio.channels);
    Put32(audio_format_, 4, audio.sample_rate);
    Put32(audio_format_, 8, audio.avg_bytes_per_second);
    Put16(audio_format_, 12, audio.block_align);
    Put16(audio_format_, 14, audio.bits_per_sample);
    if (audio.format_tag == 17) {
        Put16(audio_format_, 16, 2);
        audio_format_.resize(20, 0);
        const uint32_t samples = audio.avg_bytes_per_second == 0
                                     ? 0
                                     : static_cast<uint32_t>(static_cast<uint64_t>(audio.block_align) *
                                                             audio.sample_rate / audio.avg_bytes_per_second);
        Put16(audio_format_, 18, samples);
    } else if (audio.format_tag != 7) {
        static const uint16_t kExtra[] = {2, 768, 1, 1394};
        Put16(audio_format_, 16, sizeof kExtra);
        audio_format_.resize(18 + sizeof kExtra, 0);
        for (size_t i = 0; i < 4; ++i) Put16(audio_format_, 18 + 2 * i, kExtra[i]);
    }
    counter_.store(0);
    return true;
}

void NetworkDemuxer::Close() {
    source_ = nullptr;
    width_ = height_ = 0;
    frame_rate_ = 0.0;
    fourcc_ = frame_count_ = video_streams_ = audio_streams_ = 0;
    trailers_ = false;
    channels_ = sample_rate_ = bits_per_sample_ = 0;
    video_format_.clear();
    audio_format_.clear();
    counter_.store(0);
}

double NetworkDemuxer::PlayPosition() const {
    if (frame_count_ == 0) return 0.0;
    return static_cast<double>(counter_.load()) / frame_count_;
}

uint32_t NetworkDemuxer::NextFrameSize() const { return source_ ? source_->NextVideoFrameSize() : 0; }

bool NetworkDemuxer::ReadFrame(int direction, VideoFrameRecord& frame) {
    (void)direction;
    frame = VideoFrameRecord{};
    if (source_ == nullptr || !source_->TakeVideoFrame(frame_)) return false;
    counter_.fetch_add(1);
    const size_t size = frame_.data.size();
    frame_.data.resize(size + kFramePaddingBytes, 0);
    frame.data = frame_.data.data();
    frame.size = static_cast<uint32_t>(size);
    frame.key_frame = frame_.key_frame;
    return frame.size > 0;
}

std::span<const uint8_t> NetworkDemuxer::ReadAudio(uint32_t bytes) {
    (void)bytes;
    if (source_ == nullptr || !source_->TakeAudioPiece(audio_)) return {};
    return {audio_.data.data(), audio_.data.size()};
}

}  // namespace pellix
