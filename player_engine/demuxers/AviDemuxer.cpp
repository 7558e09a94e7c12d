#include "player_engine/demuxers/AviDemuxer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "common/AviDefs.h"
#include "common/TraceMessage.h"

namespace pellix {

namespace {

// The header list of a recording is a few hundred bytes; anything beyond this is not one.
constexpr uint64_t kMaxHeaderListBytes = 4 * 1024 * 1024;
// A frame larger than this is not a frame of any recording; the index entry is dropped
// rather than letting a hostile size decide an allocation.
constexpr uint32_t kMaxFrameBytes = 64 * 1024 * 1024;
// Bytes of a video chunk looked at when a rebuilt index has to find the key frames.
constexpr uint32_t kKeyProbeBytes = 64;
constexpr uint32_t kIndexGrowth = 4096;
constexpr size_t kInitialFrameBuffer = 32768;
constexpr size_t kInitialAudioBuffer = 512;
// Audio chunks smaller than this are always entered at their start when seeking.
constexpr uint32_t kSmallAudioChunkBytes = 1001;
constexpr char kSignatureText[10] = {'P', 'E', 'L', 'L', 'I', 'X', 'S', 'I', 'G', 'N'};

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint64_t Even(uint64_t length) { return length + (length & 1); }

// True when the payload of an MPEG-4 video chunk begins an intra-coded picture, or carries
// the sequence headers that precede one.
bool LooksLikeKeyFrame(const uint8_t* data, size_t bytes) {
    for (size_t i = 0; i + 4 < bytes; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const uint8_t code = data[i + 3];
        if (code == 0xB0 || code == 0x20 || code == 0xB3) return true;   // sequence, object layer, group
        if (code == 0xB6) return (data[i + 4] >> 6) == 0;                 // picture: I when coding type 0
    }
    return false;
}

}  // namespace

struct AviDemuxer::TopLevel {
    std::vector<uint8_t> hdrl;
    std::vector<uint8_t> idx1;
    bool have_hdrl = false;
    bool have_movi = false;
    bool have_idx1 = false;
    uint64_t movi_end = 0;
};

bool AviDemuxer::Open(Input* source) {
    Close();
    if (source == nullptr || source->Kind() != ComponentKind::Source) return false;
    source_ = source;
    file_bytes_ = source->Size();
    uint8_t riff[12];
    if (file_bytes_ < 12 || source->Seek(0, SeekOrigin::Begin) != 0 || source->Read(riff, 12) != 12 ||
        Le32(riff) != avi::kFccRiff || Le32(riff + 8) != avi::kFccAvi) {
        Close();
        return false;
    }
    TopLevel top;
    if (!WalkTopLevel(top) || !top.have_hdrl || !top.have_movi || !ParseHeaderList(top.hdrl) ||
        video_stream_ == 99) {
        TraceMessage("AVI Demuxer: no header list, movi list or video stream");
        Close();
        return false;
    }
    if (!top.have_idx1 || !IndexFromIdx1(top.idx1)) IndexFromMovi(top.movi_end);
    if (video_index_.empty()) {
        TraceMessage("AVI Demuxer: no video frame found");
        Close();
        return false;
    }
    // Recorders write 0 or 23 when they did not know their rate; those files run at 25.
    if (frame_rate_ == 0.0 || frame_rate_ == 23.0) frame_rate_ = 25.0;
    frame_buffer_.reserve(kInitialFrameBuffer);
    audio_buffer_.reserve(kInitialAudioBuffer);
    if (verify_.callback != nullptr) RunSignatureCheck();
    source_->Seek(static_cast<int64_t>(movi_position_), SeekOrigin::Begin);
    return true;
}

void AviDemuxer::Close() {
    std::lock_guard guard(lock_);
    source_ = nullptr;
    file_bytes_ = 0;
    handler_ = 0;
    frame_rate_ = 0.0;
    width_ = height_ = 0;
    video_format_.clear();
    audio_format_.clear();
    format_tag_ = 0;
    channels_ = sample_rate_ = bits_per_sample_ = 0;
    video_stream_ = audio_stream_ = 99;
    movi_position_ = 0;
    video_index_.clear();
    audio_index_.clear();
    total_audio_bytes_ = 0;
    index_source_ = IndexSource::None;
    current_video_ = current_audio_ = 0;
    audio_offset_ = 0;
}

// Walks the chunks of the RIFF list: keeps the header list, notes where movi starts and
// ends, and reads idx1 when one follows. Each step moves forward by at least 8 bytes, so the
// walk ends on any input.
bool AviDemuxer::WalkTopLevel(TopLevel& top) {
    const uint64_t end = static_cast<uint64_t>(file_bytes_);
    uint64_t at = 12;
    while (at + 8 <= end) {
        uint8_t header[12];
        if (source_->Seek(static_cast<int64_t>(at), SeekOrigin::Begin) < 0 || source_->Read(header, 8) != 8) break;
        const uint32_t id = Le32(header);
        const uint64_t length = Le32(header + 4);
        if (id == avi::kFccList && length >= 4 && at + 12 <= end) {
            if (source_->Read(header + 8, 4) != 4) break;
            const uint32_t type = Le32(header + 8);
            if (type == avi::kFccHdrl && !top.have_hdrl) {
                const uint64_t bytes = std::min({length - 4, end - (at + 12), kMaxHeaderListBytes});
                top.hdrl.resize(static_cast<size_t>(bytes));
                if (source_->Read(top.hdrl.data(), top.hdrl.size()) != top.hdrl.size()) return false;
                top.have_hdrl = true;
            } else if (type == avi::kFccMovi && !top.have_movi) {
                movi_position_ = at + 12;
                top.movi_end = at + 8 + length;
                top.have_movi = true;
            }
        } else if (id == avi::kFccIdx1 && top.have_movi) {
            const uint64_t bytes = std::min(length, end - (at + 8)) / sizeof(avi::AviIndexEntry) *
                                   sizeof(avi::AviIndexEntry);
            top.idx1.resize(static_cast<size_t>(bytes));
            top.have_idx1 = source_->Read(top.idx1.data(), top.idx1.size()) == top.idx1.size() && bytes > 0;
            if (!top.have_idx1) top.idx1.clear();
            break;
        }
        at += 8 + Even(length);
    }
    return true;
}

bool AviDemuxer::ParseHeaderList(const std::vector<uint8_t>& hdrl) {
    const uint8_t* h = hdrl.data();
    const size_t end = hdrl.size();
    size_t at = 0;
    int stream = 0;
    enum class Last { None, Video, Audio } last = Last::None;
    while (at + 8 <= end) {
        const uint32_t id = Le32(h + at);
        if (id == avi::kFccList) {
            at += 12;
            last = Last::None;
            continue;
        }
        const uint64_t length = Le32(h + at + 4);
        const uint8_t* data = h + at + 8;
        const size_t available = end - at - 8;
        const size_t usable = static_cast<size_t>(std::min<uint64_t>(length, available));
        if (id == avi::kFccStrh) {
            ++stream;
            last = Last::None;
            if (usable >= 36 && stream <= 100) {
                const uint32_t type = Le32(data);
                const uint32_t scale = Le32(data + 20), rate = Le32(data + 24), frames = Le32(data + 32);
                if (type == avi::kFccVids && video_stream_ == 99) {
                    handler_ = Le32(data + 4);
                    if (scale != 0) frame_rate_ = static_cast<double>(rate) / scale;
                    video_stream_ = stream;
                    last = Last::Video;
                } else if (type == avi::kFccAuds && audio_stream_ == 99 && frames > 1) {
                    audio_stream_ = stream;
                    last = Last::Audio;
                }
            }
        } else if (id == avi::kFccStrf) {
            if (last == Last::Video && usable >= sizeof(avi::BitmapInfoHeader)) {
                const uint32_t declared = Le32(data);
                const size_t record = std::clamp<size_t>(declared, sizeof(avi::BitmapInfoHeader), usable);
                video_format_.assign(data, data + record);
                width_ = static_cast<int32_t>(Le32(data + 4));
                height_ = static_cast<int32_t>(Le32(data + 8));
            } else if (last == Last::Audio && usable >= 16) {
                audio_format_.assign(28, 0);
                std::memcpy(audio_format_.data(), data, std::min<size_t>(28, usable));
                format_tag_ = Le16(data);
                channels_ = Le16(data + 2);
                sample_rate_ = static_cast<int>(Le32(data + 4));
                bits_per_sample_ = Le16(data + 14);
                if (bits_per_sample_ == 0) bits_per_sample_ = 16;
            }
            last = Last::None;
        } else {
            last = Last::None;
        }
        if (length > available) break;
        at += 8 + static_cast<size_t>(Even(length) <= available ? Even(length) : length);
    }
    return true;
}

bool AviDemuxer::IsVideoId(uint32_t id) const {
    if (video_stream_ == 99) return false;
    const int number = video_stream_ - 1;
    return (id & 0xFF) == static_cast<uint32_t>('0' + number / 10 % 10) &&
           ((id >> 8) & 0xFF) == static_cast<uint32_t>('0' + number % 10) && ((id >> 16) & 0xFF) == 'd';
}

bool AviDemuxer::IsAudioId(uint32_t id) const {
    if (audio_stream_ == 99) return false;
    const int number = audio_stream_ - 1;
    return (id & 0xFF) == static_cast<uint32_t>('0' + number / 10 % 10) &&
           ((id >> 8) & 0xFF) == static_cast<uint32_t>('0' + number % 10) && ((id >> 16) & 0xFF) == 'w';
}

// True when a chunk with this id and size starts at `position`.
bool AviDemuxer::ChunkAt(uint64_t position, uint32_t id, uint32_t size) {
    if (position + 8 > static_cast<uint64_t>(file_bytes_)) return false;
    uint8_t header[8];
    if (source_->Seek(static_cast<int64_t>(position), SeekOrigin::Begin) < 0 || source_->Read(header, 8) != 8)
        return false;
    return Le32(header) == id && Le32(header + 4) == size;
}

void AviDemuxer::AddEntry(uint32_t id, uint64_t position, uint32_t size, uint32_t flags) {
    if (position + size > static_cast<uint64_t>(file_bytes_) || size > kMaxFrameBytes) return;
    if (IsVideoId(id)) {
        if (video_index_.size() == video_index_.capacity()) video_index_.reserve(video_index_.size() + kIndexGrowth);
        video_index_.push_back({position, size, flags & avi::AVIIF_KEYFRAME, 0});
    } else if (IsAudioId(id) && size > 0) {
        if (audio_index_.size() == audio_index_.capacity()) audio_index_.reserve(audio_index_.size() + kIndexGrowth);
        audio_index_.push_back({position, size, 0, total_audio_bytes_});
        total_audio_bytes_ += size;
    }
}

bool AviDemuxer::IndexFromIdx1(const std::vector<uint8_t>& idx1) {
    const size_t entries = idx1.size() / sizeof(avi::AviIndexEntry);
    size_t first = entries;
    for (size_t i = 0; i < entries; ++i) {
        if (IsVideoId(Le32(idx1.data() + i * 16))) {
            first = i;
            break;
        }
    }
    if (first == entries) return false;
    const uint8_t* e = idx1.data() + first * 16;
    const uint64_t offset = Le32(e + 8);
    uint64_t data_base = 0;
    if (ChunkAt(offset, Le32(e), Le32(e + 12))) {
        data_base = 8;
        index_source_ = IndexSource::AbsoluteIdx1;
    } else if (movi_position_ >= 4 && ChunkAt(movi_position_ - 4 + offset, Le32(e), Le32(e + 12))) {
        data_base = movi_position_ + 4;
        index_source_ = IndexSource::RelativeIdx1;
    } else {
        return false;
    }
    video_index_.reserve(entries);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = idx1.data() + i * 16;
        AddEntry(Le32(entry), data_base + Le32(entry + 8), Le32(entry + 12), Le32(entry + 4));
    }
    video_index_.shrink_to_fit();
    return !video_index_.empty();
}

// Rebuilds the index by walking every chunk of movi, entering the lists inside it. A movi
// list whose size is missing or runs past the end (a writer that never closed the file) is
// walked to the end of the file. Key frames are found from the pictures themselves.
void AviDemuxer::IndexFromMovi(uint64_t movi_end) {
    video_index_.clear();
    audio_index_.clear();
    total_audio_bytes_ = 0;
    index_source_ = IndexSource::MoviWalk;
    const uint64_t file_end = static_cast<uint64_t>(file_bytes_);
    uint64_t end = movi_end;
    if (end > file_end || end <= movi_position_ + 8) end = file_end;
    uint64_t at = movi_position_;
    bool any_key = false;
    uint8_t probe[8 + kKeyProbeBytes];
    while (at + 8 <= end) {
        if (source_->Seek(static_cast<int64_t>(at), SeekOrigin::Begin) < 0) break;
        const size_t got = source_->Read(probe, sizeof probe);
        if (got < 8) break;
        const uint32_t id = Le32(probe);
        const uint32_t length = Le32(probe + 4);
        if (id == avi::kFccList) {
            at += 12;   // enter "rec " and any other list in place
            continue;
        }
        if (id == avi::kFccIdx1) break;
        uint32_t flags = 0;
        if (IsVideoId(id) && length > 0 &&
            LooksLikeKeyFrame(probe + 8, std::min<size_t>(got - 8, std::min<uint32_t>(length, kKeyProbeBytes)))) {
            flags = avi::AVIIF_KEYFRAME;
            any_key = true;
        }
        AddEntry(id, at + 8, length, flags);
        at += 8 + Even(length);
    }
    // Pictures of an unknown coding: every frame is a place to start from, so that seeking
    // still lands where it was asked to instead of at the end.
    if (!any_key)
        for (IndexEntry& entry : video_index_) entry.flags = avi::AVIIF_KEYFRAME;
    TraceMessage("AVI Demuxer: index rebuilt from movi, %u frames, %u audio chunks",
                 static_cast<unsigned>(video_index_.size()), static_cast<unsigned>(audio_index_.size()));
}

uint32_t AviDemuxer::CurrentFrameNumber() const {
    std::lock_guard guard(lock_);
    return static_cast<uint32_t>(current_video_);
}

uint32_t AviDemuxer::CurrentAudioBlock() const {
    std::lock_guard guard(lock_);
    if (audio_index_.empty()) return 0;
    const uint64_t per_entry_blocks = audio_index_.size() * 256;
    const uint64_t blocks = (total_audio_bytes_ + per_entry_blocks - 1) / per_entry_blocks;
    return static_cast<uint32_t>(blocks * current_audio_ + audio_offset_ / 256);
}

uint32_t AviDemuxer::LengthMs() const {
    if (frame_rate_ <= 0.0) return 0;
    return static_cast<uint32_t>(static_cast<double>(video_index_.size()) * 1000.0 / frame_rate_);
}

uint32_t AviDemuxer::AudioLengthMs() const {
    if (audio_format_.size() < 12) return 0;
    const uint32_t bytes_per_second = Le32(audio_format_.data() + 8);
    if (bytes_per_second == 0) return 0;
    return static_cast<uint32_t>(total_audio_bytes_ * 1000 / bytes_per_second);
}

double AviDemuxer::PlayPosition() const {
    std::lock_guard guard(lock_);
    if (video_index_.empty()) return 0.0;
    return static_cast<double>(current_video_) / static_cast<double>(video_index_.size());
}

double AviDemuxer::AudioPosition() const {
    std::lock_guard guard(lock_);
    if (audio_index_.empty()) return 0.0;
    return (audio_offset_ + static_cast<double>(current_audio_) * 4096.0) /
           (static_cast<double>(audio_index_.size()) * 4096.0);
}

uint32_t AviDemuxer::NextFrameSize() const {
    std::lock_guard guard(lock_);
    return current_video_ < video_index_.size() ? video_index_[current_video_].size : 0;
}

bool AviDemuxer::ReadFrame(int direction, VideoFrameRecord& frame) {
    std::lock_guard guard(lock_);
    frame = VideoFrameRecord{};
    if (source_ == nullptr || current_video_ >= video_index_.size()) return false;
    if (direction < 0 && current_video_ > 1) --current_video_;
    const IndexEntry& entry = video_index_[current_video_];
    if (entry.size == 0) {
        // An empty chunk only paces the recording; it is passed so playback moves on.
        TraceMessage("pos: %d, len: %d", static_cast<int>(current_video_), 0);
        if (direction > 0) ++current_video_;
        return false;
    }
    if (frame_buffer_.size() < entry.size + kFramePaddingBytes) frame_buffer_.resize(entry.size + kFramePaddingBytes);
    if (source_->Seek(static_cast<int64_t>(entry.position), SeekOrigin::Begin) < 0 ||
        source_->Read(frame_buffer_.data(), entry.size) != entry.size)
        return false;
    std::memset(frame_buffer_.data() + entry.size, 0, kFramePaddingBytes);
    frame.data = frame_buffer_.data();
    frame.size = entry.size;
    frame.key_frame = (entry.flags & avi::AVIIF_KEYFRAME) != 0;
    if (direction > 0) ++current_video_;
    return true;
}

std::span<const uint8_t> AviDemuxer::ReadAudio(uint32_t bytes) {
    std::lock_guard guard(lock_);
    if (bytes == 0xFFFF) bytes = 256;
    if (source_ == nullptr || bytes == 0) return {};
    const size_t saved_entry = current_audio_;
    const uint32_t saved_offset = audio_offset_;
    audio_buffer_.resize(bytes);
    uint32_t got = 0;
    while (got < bytes) {
        if (current_audio_ >= audio_index_.size()) break;
        const IndexEntry& entry = audio_index_[current_audio_];
        if (audio_offset_ >= entry.size) {
            ++current_audio_;
            audio_offset_ = 0;
            continue;
        }
        const uint32_t take = std::min(bytes - got, entry.size - audio_offset_);
        const int64_t at = static_cast<int64_t>(entry.position + audio_offset_);
        if (source_->Seek(at, SeekOrigin::Begin) != at || source_->Read(audio_buffer_.data() + got, take) != take) break;
        got += take;
        audio_offset_ += take;
        if (audio_offset_ == entry.size) {
            ++current_audio_;
            audio_offset_ = 0;
        }
    }
    if (got < bytes) {
        current_audio_ = saved_entry;
        audio_offset_ = saved_offset;
        return {};
    }
    return {audio_buffer_.data(), bytes};
}

int64_t AviDemuxer::AudioBytePositionOfFrame(double frame_rate, int64_t frame) {
    if (frame_rate <= 0.0) return 0;
    const double milliseconds = 1000.0 / frame_rate * static_cast<double>(frame);
    const int64_t bytes = static_cast<int64_t>(milliseconds * 4096.0 / 1010.0);
    return bytes / 256 * 256;
}

bool AviDemuxer::SeekAudioLocked(int64_t byte_position) {
    if (audio_index_.empty()) return false;
    uint64_t target = byte_position < 0 ? 0 : static_cast<uint64_t>(byte_position) / 256 * 256;
    if (target >= total_audio_bytes_) {
        current_audio_ = audio_index_.size();
        audio_offset_ = 0;
        return true;
    }
    // Last entry whose earlier-bytes total is at most the target.
    auto after = std::upper_bound(audio_index_.begin(), audio_index_.end(), target,
                                  [](uint64_t value, const IndexEntry& entry) { return value < entry.earlier; });
    const size_t entry = static_cast<size_t>(after - audio_index_.begin()) - 1;
    current_audio_ = entry;
    audio_offset_ = audio_index_[entry].size < kSmallAudioChunkBytes
                        ? 0
                        : static_cast<uint32_t>(target - audio_index_[entry].earlier);
    return true;
}

bool AviDemuxer::SeekAudio(int64_t byte_position) {
    std::lock_guard guard(lock_);
    return SeekAudioLocked(byte_position);
}

bool AviDemuxer::SeekToFrame(int64_t frame, FrameOrigin origin) {
    std::lock_guard guard(lock_);
    if (video_index_.empty()) return false;
    const int64_t last = static_cast<int64_t>(video_index_.size()) - 1;
    int64_t target = frame;
    if (origin == FrameOrigin::Current) target = static_cast<int64_t>(current_video_) + frame;
    if (origin == FrameOrigin::Last) target = last + frame;
    current_video_ = static_cast<size_t>(std::clamp<int64_t>(target, 0, last));
    return true;
}

bool AviDemuxer::AlignAudioWithVideo() {
    std::lock_guard guard(lock_);
    return SeekAudioLocked(AudioBytePositionOfFrame(frame_rate_, static_cast<int64_t>(current_video_)));
}

bool AviDemuxer::SeekToPosition(double position) {
    std::lock_guard guard(lock_);
    if (video_index_.empty() || !(position >= 0.0) || position > 1.0) return false;
    size_t frame = static_cast<size_t>(std::floor(static_cast<double>(video_index_.size()) * position));
    while (frame < video_index_.size() && (video_index_[frame].flags & avi::AVIIF_KEYFRAME) == 0) ++frame;
    current_video_ = frame;
    if (!audio_index_.empty()) SeekAudioLocked(AudioBytePositionOfFrame(frame_rate_, static_cast<int64_t>(frame)));
    return true;
}

bool AviDemuxer::Rewind() {
    std::lock_guard guard(lock_);
    current_video_ = 0;
    current_audio_ = 0;
    audio_offset_ = 0;
    return true;
}

bool AviDemuxer::NextKeyFrame() {
    std::lock_guard guard(lock_);
    if (current_video_ >= video_index_.size()) return false;
    ++current_video_;
    while (current_video_ < video_index_.size() && (video_index_[current_video_].flags & avi::AVIIF_KEYFRAME) == 0)
        ++current_video_;
    return true;
}

bool AviDemuxer::PreviousKeyFrame() {
    std::lock_guard guard(lock_);
    if (video_index_.empty()) return false;
    if (current_video_ > video_index_.size()) current_video_ = video_index_.size();
    if (current_video_ > 1) --current_video_;
    while (current_video_ > 0 &&
           (current_video_ >= video_index_.size() || (video_index_[current_video_].flags & avi::AVIIF_KEYFRAME) == 0))
        --current_video_;
    return true;
}

bool AviDemuxer::StoreVerify(const VerifySettings& settings) {
    verify_ = settings;
    return true;
}

// Reads the frames of the asked range and counts the picture starts that carry a signature
// block in the 16 bytes before them: the signature text, two bytes, and a 32-bit checksum
// equal to the sum of the three 32-bit words before it.
void AviDemuxer::RunSignatureCheck() {
    VerifyReport report;
    report.begin = verify_.begin;
    report.end = std::min<uint32_t>(verify_.end, static_cast<uint32_t>(video_index_.size()));
    std::vector<uint8_t> frame;
    for (uint32_t i = report.begin; i < report.end; ++i) {
        const IndexEntry& entry = video_index_[i];
        frame.resize(entry.size);
        if (entry.size == 0 || source_->Seek(static_cast<int64_t>(entry.position), SeekOrigin::Begin) < 0 ||
            source_->Read(frame.data(), entry.size) != entry.size)
            continue;
        ++report.frames_checked;
        for (size_t at = 16; at + 4 <= frame.size(); ++at) {
            if (frame[at] != 0 || frame[at + 1] != 0 || frame[at + 2] != 1 || frame[at + 3] != 0xB6) continue;
            const uint8_t* block = frame.data() + at - 16;
            if (std::memcmp(block, kSignatureText, sizeof kSignatureText) != 0) continue;
            ++report.frames_signed;
            const uint32_t sum = Le32(block) + Le32(block + 4) + Le32(block + 8);
            if (sum == Le32(block + 12)) ++report.frames_valid;
            break;
        }
    }
    verify_.callback(verify_.port, &report, verify_.user);
}

}  // namespace pellix
