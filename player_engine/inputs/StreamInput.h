#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Sync.h"
#include "platform/Thread.h"
#include "player_engine/inputs/Input.h"
#include "player_engine/inputs/PieceQueue.h"
#include "player_engine/inputs/RingBuffer.h"
#include "player_engine/inputs/StreamHeader.h"

namespace pellix {

// Bytes pushed by the application, cut into video frames and audio pieces on the stream's
// own parsing thread and queued for the network splitter.
//
// Threads: Append runs on the application's feeding thread; the parsing thread fills the
// queues; the splitter takes from them on the playback thread. The ring and each queue have
// their own lock and no operation holds two of them. Lock order: callback_lock_ is never held
// while calling the application's callback.
class StreamInput final : public Input {
public:
    static constexpr uint32_t kMinBufferBytes = 51200;
    static constexpr uint32_t kMaxBufferBytes = 102400000;

    StreamInput();
    ~StreamInput() override;

    const char* DisplayName() const override { return "Stream Input"; }

    // Reads the header before Open; refused while running, after a header was taken, or for
    // a header the stream cannot use.
    bool ReadHeader(const uint8_t* header, size_t bytes);

    bool Open(const char* name, bool binary, bool stream) override;
    void Close() override;
    uint32_t Status() const override { return kInputStatusWaitable; }

    bool SetBufferSize(uint32_t bytes) override;
    uint32_t BufferRemain() const override;
    bool ResetBuffer() override;
    bool RearmCallback() override;
    bool SetCallback(const SourceCallbackSettings& settings) override;
    bool Append(const uint8_t* data, size_t bytes) override;
    uint32_t QueuedVideoFrames() const override { return video_queue_.Count(); }
    uint32_t QueuedAudioPieces() const override { return audio_queue_.Count(); }
    bool TakeVideoFrame(QueuedPiece& frame) override;
    bool TakeAudioPiece(QueuedPiece& piece) override;
    uint32_t NextVideoFrameSize() const override { return video_queue_.FrontSize(); }
    bool GetStreamInfo(StreamVideoInfo& video, StreamAudioInfo& audio) const override;

    bool IsRunning() const { return running_.load(); }

private:
    class ParsingThread;
    friend class ParsingThread;

    void ParseLoop();
    bool Synchronise();
    // Waits until `bytes` are in the ring; false when stopped or the ring was reset.
    bool WaitForBytes(size_t bytes, uint32_t generation);
    // Reads a payload in parts as it arrives; false when stopped or the ring was reset.
    bool ReadPayload(uint8_t* out, size_t bytes, uint32_t step_ms, uint32_t generation);
    void QueueVideo(std::vector<uint8_t>& payload);
    void QueueAudio(std::vector<uint8_t>& payload);
    void CheckCallback(size_t bytes_in_ring);
    bool IsChunkStart(const uint8_t* p) const;
    bool Idle(uint32_t milliseconds, uint32_t generation);

    // Immutable while running (set by ReadHeader, cleared by Close).
    StreamHeaderFacts facts_;
    bool header_read_ = false;

    RingBuffer ring_;
    PieceQueue video_queue_;
    PieceQueue audio_queue_;

    // Parsing thread only.
    std::vector<uint8_t> payload_;
    std::vector<uint8_t> audio_assembly_;

    mutable platform::CriticalSection callback_lock_;
    // Guarded by callback_lock_.
    SourceCallbackSettings callback_;
    bool callback_armed_ = false;

    std::atomic<bool> running_{false};
    // Raised by ResetBuffer and SetBufferSize so the parsing thread drops a half-read chunk.
    std::atomic<uint32_t> generation_{0};
    // Set when bytes arrive or room appears, so the parsing thread need not sleep out its step.
    platform::Event wake_{platform::EventReset::Auto};
    std::unique_ptr<ParsingThread> thread_;   // m_hBufferThread
};

}  // namespace pellix
