#include "player_engine/inputs/StreamInput.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/TraceMessage.h"

namespace pellix {

namespace {

constexpr uint32_t kSyncStepMs = 40;
constexpr uint32_t kHeaderStepMs = 10;
constexpr uint32_t kPayloadStepMs = 5;
constexpr uint32_t kIndexStepMs = 10;
constexpr uint32_t kQueueFullStepMs = 40;
constexpr size_t kVideoEntryBytes = 32000;
constexpr size_t kAudioAssemblyBytes = 1024;
// A chunk longer than this is not a frame of any recording; its header is taken for garbage
// and the stream synchronises again, instead of waiting for gigabytes that never come.
constexpr uint32_t kMaxChunkBytes = 16 * 1024 * 1024;

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

class StreamInput::ParsingThread final : public platform::Thread {
public:
    explicit ParsingThread(StreamInput& owner) : owner_(owner) {}
    ~ParsingThread() override { KillThread(); }

protected:
    uint32_t Run() override {
        owner_.ParseLoop();
        return 0;
    }

private:
    StreamInput& owner_;
};

StreamInput::StreamInput() = default;

StreamInput::~StreamInput() { Close(); }

bool StreamInput::ReadHeader(const uint8_t* header, size_t bytes) {
    if (running_.load() || facts_.video_streams > 0) return false;
    auto facts = ParseStreamHeader(header, bytes);
    if (!facts) return false;
    facts_ = *facts;
    header_read_ = true;
    return true;
}

bool StreamInput::Open(const char* name, bool binary, bool stream) {
    (void)name;
    (void)binary;
    (void)stream;
    if (!header_read_ || running_.load()) return false;
    video_queue_.Create(kVideoEntryBytes);
    if (facts_.audio_streams > 0) audio_queue_.Create(facts_.audio_piece_bytes);
    ring_.Resize(kMinBufferBytes);
    audio_assembly_.clear();
    audio_assembly_.reserve(kAudioAssemblyBytes);
    running_.store(true);
    thread_ = std::make_unique<ParsingThread>(*this);
    thread_->SetPriority(platform::THREAD_PRIORITY_ABOVE_NORMAL);
    thread_->Resume();
    return true;
}

void StreamInput::Close() {
    running_.store(false);
    wake_.Set();
    if (thread_) {
        thread_->KillThread();
        thread_.reset();
    }
    video_queue_.Destroy();
    audio_queue_.Destroy();
    ring_.Resize(0);
    facts_ = StreamHeaderFacts{};
    header_read_ = false;
}

bool StreamInput::SetBufferSize(uint32_t bytes) {
    if (bytes < kMinBufferBytes || bytes > kMaxBufferBytes) return false;
    generation_.fetch_add(1);
    ring_.Resize(bytes);
    wake_.Set();
    return true;
}

uint32_t StreamInput::BufferRemain() const { return static_cast<uint32_t>(ring_.Available()); }

bool StreamInput::ResetBuffer() {
    generation_.fetch_add(1);
    ring_.Clear();
    video_queue_.Clear();
    audio_queue_.Clear();
    wake_.Set();
    return true;
}

bool StreamInput::SetCallback(const SourceCallbackSettings& settings) {
    std::lock_guard guard(callback_lock_);
    callback_ = settings;
    callback_armed_ = settings.callback != nullptr;
    return true;
}

bool StreamInput::RearmCallback() {
    std::lock_guard guard(callback_lock_);
    if (callback_.callback == nullptr) return false;
    callback_armed_ = true;
    return true;
}

bool StreamInput::Append(const uint8_t* data, size_t bytes) {
    if (!running_.load() || data == nullptr) return false;
    if (!ring_.Write(data, bytes)) return false;
    wake_.Set();
    return true;
}

bool StreamInput::TakeVideoFrame(QueuedPiece& frame) {
    if (!video_queue_.Take(frame)) return false;
    wake_.Set();
    return true;
}

bool StreamInput::TakeAudioPiece(QueuedPiece& piece) { return audio_queue_.Take(piece); }

bool StreamInput::GetStreamInfo(StreamVideoInfo& video, StreamAudioInfo& audio) const {
    if (!header_read_) return false;
    video = facts_.video;
    audio = facts_.audio;
    return true;
}

void StreamInput::CheckCallback(size_t bytes_in_ring) {
    SourceCallbackSettings call;
    {
        std::lock_guard guard(callback_lock_);
        if (!callback_armed_ || callback_.callback == nullptr || bytes_in_ring > callback_.threshold_bytes)
            return;
        callback_armed_ = false;
        call = callback_;
    }
    call.callback(call.port, static_cast<unsigned int>(bytes_in_ring), call.user, nullptr);
}

// Sleeps one step of the parsing loop, waking early when bytes arrive or room appears.
// False when the stream stopped or the ring was reset meanwhile.
bool StreamInput::Idle(uint32_t milliseconds, uint32_t generation) {
    platform::WaitForOne(&wake_, milliseconds);
    return running_.load() && generation_.load() == generation;
}

// A chunk starts where the video stream's identifier stands, named "db" or "dc" whatever the
// header said (recordings name compressed frames "dc"), where the audio stream's stands, or
// where an index follows the frames (so its entries are not mistaken for frames).
bool StreamInput::IsChunkStart(const uint8_t* p) const {
    const char* v = facts_.video_chunk_id;
    if (facts_.video_streams > 0 && p[0] == static_cast<uint8_t>(v[0]) && p[1] == static_cast<uint8_t>(v[1]) &&
        (p[2] == 'd' || p[2] == 'D') && (p[3] == 'b' || p[3] == 'c' || p[3] == 'B' || p[3] == 'C'))
        return true;
    const char* a = facts_.audio_chunk_id;
    if (facts_.audio_streams > 0 && p[0] == static_cast<uint8_t>(a[0]) && p[1] == static_cast<uint8_t>(a[1]) &&
        (p[2] == 'w' || p[2] == 'W') && (p[3] == 'b' || p[3] == 'B'))
        return true;
    return std::memcmp(p, "idx1", 4) == 0;
}

bool StreamInput::Synchronise() {
    uint8_t window[4096 + 3];
    for (;;) {
        const size_t n = ring_.Peek(window, sizeof window);
        if (n < 4) return false;
        for (size_t i = 0; i + 4 <= n; ++i) {
            if (IsChunkStart(window + i)) {
                ring_.Discard(i);
                return true;
            }
        }
        ring_.Discard(n - 3);
        if (n < sizeof window) return false;
    }
}

bool StreamInput::WaitForBytes(size_t bytes, uint32_t generation) {
    for (;;) {
        const size_t available = ring_.Available();
        if (available >= bytes) return true;
        CheckCallback(available);
        if (!Idle(kHeaderStepMs, generation)) return false;
    }
}

bool StreamInput::ReadPayload(uint8_t* out, size_t bytes, uint32_t step_ms, uint32_t generation) {
    size_t got = 0;
    while (got < bytes) {
        got += ring_.Read(out + got, bytes - got);
        CheckCallback(ring_.Available());
        if (got < bytes && !Idle(step_ms, generation)) return false;
    }
    return true;
}

void StreamInput::QueueVideo(std::vector<uint8_t>& payload) {
    uint32_t value = 0;
    bool key = true;
    size_t frame_bytes = payload.size();
    if (facts_.frames_carry_trailers) {
        if (frame_bytes < 8) return;
        value = Le32(payload.data() + frame_bytes - 4);
        key = Le32(payload.data() + frame_bytes - 8) == 0;
        frame_bytes -= 8;
    } else if (facts_.cut_video_tail) {
        if (frame_bytes <= 4) return;
        frame_bytes -= 4;
    }
    const uint32_t generation = generation_.load();
    while (!video_queue_.Push(value, key, payload.data(), frame_bytes)) {
        if (!Idle(kQueueFullStepMs, generation)) return;
    }
}

// Nothing takes the audio of a pushed stream, so a full audio queue forgets its oldest piece
// rather than holding up the video frames behind it.
void StreamInput::QueueAudio(std::vector<uint8_t>& payload) {
    if (!audio_queue_.IsCreated()) return;
    if (facts_.frames_carry_trailers) {
        if (payload.size() < 4) return;
        const uint32_t value = Le32(payload.data() + payload.size() - 4);
        audio_queue_.PushDroppingOldest(value, true, payload.data(), payload.size() - 4);
        return;
    }
    audio_assembly_.insert(audio_assembly_.end(), payload.begin(), payload.end());
    const size_t piece = facts_.audio_piece_bytes;
    size_t used = 0;
    while (audio_assembly_.size() - used >= piece) {
        audio_queue_.PushDroppingOldest(0, true, audio_assembly_.data() + used, piece);
        used += piece;
    }
    audio_assembly_.erase(audio_assembly_.begin(), audio_assembly_.begin() + static_cast<std::ptrdiff_t>(used));
}

void StreamInput::ParseLoop() {
    while (running_.load()) {
        const uint32_t generation = generation_.load();
        if (!Synchronise()) {
            CheckCallback(ring_.Available());
            Idle(kSyncStepMs, generation);
            continue;
        }
        if (!WaitForBytes(8, generation)) continue;
        uint8_t header[8];
        if (ring_.Read(header, 8) != 8) continue;
        const uint32_t length = Le32(header + 4);
        if (length == 0) continue;   // an empty frame only paces the recording
        if (length > kMaxChunkBytes) {
            TraceMessage("Stream chunk %.4s of %u bytes skipped", reinterpret_cast<const char*>(header), length);
            continue;
        }
        const size_t payload_bytes = length + (length & 1);
        const bool video = facts_.video_streams > 0 && (header[2] == 'd' || header[2] == 'D') &&
                           (header[3] == 'b' || header[3] == 'c' || header[3] == 'B' || header[3] == 'C') &&
                           IsDigit(header[0]) && IsDigit(header[1]);
        const bool audio = facts_.audio_streams > 0 && (header[2] == 'w' || header[2] == 'W') &&
                           (header[3] == 'b' || header[3] == 'B') && IsDigit(header[0]) && IsDigit(header[1]);
        const bool index = std::memcmp(header, "idx1", 4) == 0;
        if (!video && !audio && !index) continue;

        payload_.resize(payload_bytes);
        if (!ReadPayload(payload_.data(), payload_bytes, index ? kIndexStepMs : kPayloadStepMs, generation))
            continue;
        if (index) continue;
        // The pad byte belongs to the chunk's layout, not to the frame.
        payload_.resize(length);
        if (video)
            QueueVideo(payload_);
        else
            QueueAudio(payload_);
    }
}

}  // namespace pellix
