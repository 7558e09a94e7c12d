#pragma once

#include <cstdint>
#include <string>

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
    VideoOutputWrapper& Renderer() { return renderer_; }
    bool SetDecodeCallback(DecodeCallback callback, void* user);
    bool SetVerifyCallback(uint32_t begin, uint32_t end, VerifyCallback callback, void* user);

    bool IsPlaying() const { return playing_; }
    bool IsClosed() const { return closed_; }
    bool HasVideo() const { return has_video_; }
    bool HasAudio() const { return has_audio_; }
    SourceKind Source() const { return source_kind_; }
    const InputWrapper& Input() const { return input_; }
    const SplitterWrapper& Splitter() const { return splitter_; }

private:
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
    uint32_t frame_counter_ = 0;
    bool has_video_ = false;
    bool has_audio_ = false;
    bool sound_usable_ = false;
    bool playing_ = false;
    bool paused_ = false;
    bool stepping_ = false;
    bool closed_ = true;
    float speed_ = 1.0f;
    double frame_rate_ = 0.0;
    uint16_t volume_ = kVolumeUnset;
    DecodeCallback decode_callback_ = nullptr;
    void* decode_user_ = nullptr;
};

}  // namespace pellix
