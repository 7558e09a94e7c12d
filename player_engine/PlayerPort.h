#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Sync.h"
#include "player_engine/clock/PlaybackThread.h"
#include "player_engine/decoders/VideoDecoderWrapper.h"
#include "player_engine/decoders/VideoFrameBuffer.h"
#include "player_engine/demuxers/SplitterWrapper.h"
#include "player_engine/inputs/InputWrapper.h"
#include "player_engine/renderers/VideoOutputWrapper.h"
#include "player_engine/sound/AudioDecoderWrapper.h"
#include "player_engine/sound/AudioPieceBuffer.h"
#include "player_engine/sound/SoundOutputWrapper.h"

namespace pellix {

enum class SourceKind : int { None = 0, File = 1, Stream = 2 };

// Stream open modes: pictures of a real-time stream are shown as they come; a stream fed
// from a file is paced like the file.
enum class StreamOpenMode : int { RealTime = 0, FromFile = 1 };

using DecodeCallback = void (*)(int port, unsigned char* data, int size, void* info, void* user, int reserved);

// One player: the chain of components of a port and its playback state. Made on demand by
// the exported functions and destroyed by Pellix_CloseFile. Its operations run on the
// application's UI thread, except Append (the feeding thread); the components guard what
// their own threads share.
class PlayerPort {
public:
    static constexpr uint16_t kVolumeUnset = 0xFFFF;

    explicit PlayerPort(int port);
    ~PlayerPort();
    PlayerPort(const PlayerPort&) = delete;
    PlayerPort& operator=(const PlayerPort&) = delete;

    int Port() const { return port_; }

    // Opening and closing.
    bool SetStreamOpenMode(int mode);
    int StreamOpenModeValue() const { return static_cast<int>(open_mode_); }
    bool OpenFile(const char* name);
    bool OpenStream(const uint8_t* header, int header_bytes, int buffer_bytes);
    bool InputData(const uint8_t* data, int bytes);
    // Stops playback and closes every component; the port stays made.
    void CloseMedia();
    void SetFileEndMessage(void* window, unsigned int message);

    // Stream source buffer.
    uint32_t SourceBufferRemain() const;
    bool ResetSourceBuffer();
    bool SetSourceBufferCallback(uint32_t threshold, SourceBufferCallback callback, void* user);
    bool RearmSourceBufferCallback();

    // Playback control: playback comes with the renderer, sound output and clock.
    bool Play(void* window);
    bool Stop();
    bool Pause(bool pause);
    bool Fast();
    bool Slow();
    bool OneByOne(bool backwards);
    bool RefreshPlay();
    bool SetPlayPosition(float position);
    float PlayPosition() const;
    bool SetCurrentFrame(uint32_t frame);
    uint32_t CurrentFrame() const;
    uint32_t PlayedFrames() const;
    uint32_t PlayedTimeMs() const;
    uint32_t FileTimeMs() const;
    uint32_t TotalFrames() const;
    uint32_t CurrentFrameRate() const;
    bool PictureSize(int* width, int* height) const;

    // Sound.
    bool PlaySound();
    bool StopSound();
    bool SetVolume(uint16_t volume);
    uint16_t Volume() const { return volume_; }

    // Display.
    bool SetDisplayBuffer(uint32_t frames);
    uint32_t DisplayBuffer() const { return frame_buffer_.Count(); }
    uint32_t AudioPieces() const { return audio_buffer_.ConfiguredPieces(); }
    VideoOutputWrapper& Renderer() { return renderer_; }
    bool SetDecodeCallback(DecodeCallback callback, void* user);
    bool SetVerifyCallback(uint32_t begin, uint32_t end, VerifyCallback callback, void* user);

    bool IsPlaying() const { return playing_; }
    bool IsPaused() const { return paused_; }
    float Speed() const { return speed_; }
    // The sound output of the current Play, for tests of the clock; null without one.
    DirectSoundOutput* SoundOutput() { return sound_output_.Active(); }
    bool IsClosed() const { return closed_; }
    bool HasVideo() const { return has_video_; }
    bool HasAudio() const { return has_audio_; }
    SourceKind Source() const { return source_kind_; }
    const InputWrapper& Input() const { return input_; }
    const SplitterWrapper& Splitter() const { return splitter_; }

private:
    // Sets the playing speed for Fast and Slow: a speed within 10 % of normal becomes normal,
    // and the sound follows it.
    void ApplySpeed(float speed);

    // Serialises the clock values between the playback thread and the control operations.
    class ClockLock {
    public:
        explicit ClockLock(platform::Mutex& mutex) : mutex_(mutex) { platform::WaitForOne(&mutex_, platform::INFINITE); }
        ~ClockLock() { mutex_.Release(); }
        ClockLock(const ClockLock&) = delete;
        ClockLock& operator=(const ClockLock&) = delete;

    private:
        platform::Mutex& mutex_;
    };

    // Playback threads: pictures paced by the tick, or following the sound.
    void RunVideoOnly();
    void RunAudioAndVideo();
    // The frame number under the clock mutex, for the playback threads.
    uint32_t ClockFrame();
    // Waits up to `ms` milliseconds; Pause off and Stop end the wait early.
    void Nap(uint32_t ms);
    void HoldWhilePaused();
    void Draw(PictureEntry* picture);
    void PostEndOnce();
    bool IsWaitingStream() const;
    bool IsRealTimeStream() const;
    // Points the sound at the splitter's audio position after a seek or step.
    void RepositionSoundLocked();
    void CloseOutputs();
    static void AudioDataCallback(void* user, int reserved1, int reserved2);

    // Opens the splitter and decoders on the opened source; shared by file and stream.
    bool OpenTail(SourceKind kind);

    // Components, in chain order; each lives as long as the port.
    InputWrapper input_;
    SplitterWrapper splitter_;
    VideoDecoderWrapper video_decoder_;
    VideoFrameBuffer frame_buffer_;
    VideoOutputWrapper renderer_;
    AudioDecoderWrapper audio_decoder_;
    AudioPieceBuffer audio_buffer_;
    SoundOutputWrapper sound_output_;

    const int port_;
    std::string file_name_;       // at most 259 characters
    void* end_window_ = nullptr;
    unsigned int end_message_ = 0;
    bool end_sent_ = false;
    SourceKind source_kind_ = SourceKind::None;
    StreamOpenMode open_mode_ = StreamOpenMode::RealTime;
    bool has_video_ = false;
    bool has_audio_ = false;
    bool sound_usable_ = false;
    bool closed_ = true;
    double frame_rate_ = 0.0;
    void* window_ = nullptr;   // the window of the current Play

    // Read by the playback thread each turn, set by the control operations.
    std::atomic<bool> playing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> stepping_{false};
    std::atomic<bool> sound_off_{false};
    std::atomic<float> speed_{1.0f};

    // Clock values; guarded by clock_mutex_.
    platform::Mutex clock_mutex_;
    uint32_t current_frame_ = 0;
    uint32_t frame_counter_ = 0;
    uint32_t reference_tick_ = 0;
    uint32_t pause_tick_ = 0;
    // Playback thread only.
    uint32_t previous_render_tick_ = 0;
    uint32_t last_render_tick_ = 0;
    uint64_t render_total_ms_ = 0;

    // Signalled while the thread may run: reset by Pause, set by Pause off and Stop.
    platform::Event run_gate_{platform::EventReset::Manual, true};
    // Signalled by Stop so that a pacing sleep ends at once.
    platform::Event wake_{platform::EventReset::Manual, false};
    // Set by Pause so that a pacing sleep ends and the thread reaches its hold.
    platform::Event pause_wake_{platform::EventReset::Auto, false};
    // Signalled while the thread stands at its hold (or has ended).
    platform::Event parked_{platform::EventReset::Manual, false};
    std::unique_ptr<PlaybackThread> thread_;
    uint16_t volume_ = kVolumeUnset;
    DecodeCallback decode_callback_ = nullptr;
    void* decode_user_ = nullptr;
};

}  // namespace pellix
