#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "player_engine/Component.h"
#include "player_engine/inputs/Input.h"

namespace pellix {

// Zero bytes that follow every frame a splitter gives: decoders read whole words, and so a
// few bytes, past the end of a frame.
inline constexpr uint32_t kFramePaddingBytes = 64;

// One compressed video frame as a splitter hands it to the video decoder. The bytes belong
// to the splitter and stay valid until its next read or seek; kFramePaddingBytes zero bytes
// follow them.
struct VideoFrameRecord {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    bool key_frame = false;
};

// Values of the frame signature check and where its results go. Nothing in the system sets
// them; a caller that does receives one report per checked file.
using VerifyCallback = void (*)(int port, void* range, void* user);
struct VerifySettings {
    int port = 0;
    uint32_t begin = 0;
    uint32_t end = 0;
    VerifyCallback callback = nullptr;
    void* user = nullptr;
};
// What a verify callback receives as its range.
struct VerifyReport {
    uint32_t begin = 0;           // first and last frame asked for
    uint32_t end = 0;
    uint32_t frames_checked = 0;  // frames read in that range
    uint32_t frames_signed = 0;   // frames carrying a signature block
    uint32_t frames_valid = 0;    // of those, blocks whose text and checksum are right
};

// Seek origins of SeekToFrame.
enum class FrameOrigin : int { Begin = 0, Current = 1, Last = 2 };

// The splitter interface: what the decoders and the playback clock need of a container.
// Required: Open/Close and the stream facts. Reads and seeks serialise themselves, so the
// playback thread, the sound timer and the control operations may call them concurrently.
class Demuxer : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::Splitter; }

    // The source stays the caller's and must outlive the demuxer's Close.
    virtual bool Open(Input* source) = 0;
    virtual void Close() = 0;

    // Stream facts.
    virtual bool HasVideo() const = 0;
    virtual bool HasAudio() const = 0;
    virtual bool TrailerFlag() const { return false; }
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Frames per second; 0.0 and 23.0 are reported as 25.0.
    virtual double FrameRate() const = 0;
    // The video format record as stored (a bitmap-information record plus codec data).
    virtual const std::vector<uint8_t>& VideoFormat() const = 0;
    virtual uint32_t VideoFourCC() const = 0;
    virtual uint32_t CurrentFrameNumber() const = 0;
    virtual uint32_t CurrentAudioBlock() const { return 0; }
    virtual uint32_t FrameCount() const = 0;
    virtual uint32_t AudioStreamCount() const { return 0; }
    virtual uint32_t LengthMs() const { return 0; }
    virtual uint32_t AudioLengthMs() const { return 0; }
    virtual double PlayPosition() const = 0;
    virtual double AudioPosition() const { return 0.0; }
    virtual int BitsPerSample() const { return 0; }
    virtual int Channels() const { return 0; }
    virtual int SampleRate() const { return 0; }
    // The first 28 bytes of the audio format record; empty without audio.
    virtual const std::vector<uint8_t>& AudioFormat() const = 0;

    // Reading.
    virtual uint32_t NextFrameSize() const = 0;
    // Direction > 0 reads the current frame and moves on; 0 reads it again in place; < 0
    // steps back one frame first. False when there is no frame to give.
    virtual bool ReadFrame(int direction, VideoFrameRecord& frame) = 0;
    // `bytes` of audio from the current audio position (0xFFFF means 256); empty when the
    // data run out, the position then being unchanged. Valid until the next audio read.
    virtual std::span<const uint8_t> ReadAudio(uint32_t bytes) { (void)bytes; return {}; }

    // Seeking; a splitter that cannot seek does nothing and answers 0.
    virtual bool SeekAudio(int64_t byte_position) { (void)byte_position; return false; }
    virtual bool SeekToFrame(int64_t frame, FrameOrigin origin) { (void)frame; (void)origin; return false; }
    virtual bool AlignAudioWithVideo() { return false; }
    virtual bool SeekToPosition(double position) { (void)position; return false; }
    virtual bool Rewind() { return false; }
    virtual bool NextKeyFrame() { return false; }
    virtual bool PreviousKeyFrame() { return false; }

    virtual bool StoreVerify(const VerifySettings& settings) { (void)settings; return true; }
};

}  // namespace pellix
