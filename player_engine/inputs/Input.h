#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player_engine/Component.h"

namespace pellix {

// Origins of Input::Seek, as the splitters pass them.
enum class SeekOrigin : int { Begin = 0, Current = 1, End = 2 };

// Bit of Input::Status(): the source can still receive data (a pushed stream, a download),
// so running out of bytes is not the end of the media.
inline constexpr uint32_t kInputStatusWaitable = 0x1;

// The source-buffer callback of a pushed stream and its settings; handed from the port's
// input wrapper to every stream source it makes.
using SourceBufferCallback = void (*)(int port, unsigned int remain, void* user, void* reserved);
struct SourceCallbackSettings {
    int port = 0;
    uint32_t threshold_bytes = 0;
    SourceBufferCallback callback = nullptr;
    void* user = nullptr;
};

// One compressed video frame or audio piece taken from a stream source's queue.
struct QueuedPiece {
    uint32_t value = 0;          // frame number or time stamp carried by the stream, else 0
    bool key_frame = false;
    std::vector<uint8_t> data;   // exactly the piece's bytes
};

// Stream facts a pushed stream announces in its header, in the byte layouts the network
// splitter reads.
#pragma pack(push, 1)
struct StreamVideoInfo {
    uint16_t width = 352;
    uint16_t height = 288;
    uint16_t frame_rate = 25;
    uint16_t bit_count = 24;
    uint32_t compression = 0;
    uint32_t frame_count = 0;
    uint16_t reserved = 0;
    uint16_t video_streams = 0;
    uint8_t codec_data[4] = {0, 0, 0, 0};
};
struct StreamAudioInfo {
    uint16_t format_tag = 17;
    uint16_t channels = 1;
    uint32_t sample_rate = 8000;
    uint32_t avg_bytes_per_second = 4055;
    uint16_t block_align = 256;
    uint16_t bits_per_sample = 4;
    uint16_t extra_size = 0;
    uint16_t samples_per_block = 0;   // the network header carries the audio stream count here
};
#pragma pack(pop)
static_assert(sizeof(StreamVideoInfo) == 24);
static_assert(sizeof(StreamAudioInfo) == 20);

// A source of media bytes. Every operation has a neutral default so that each source only
// implements what it is: a file or a download answers the byte operations, a pushed stream
// the ring and queue operations. All operations may be called from the port's threads; each
// source documents its own locking.
class Input : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::Source; }

    // `binary` false opens text mode (only files care); `stream` selects a pushed stream.
    virtual bool Open(const char* name, bool binary, bool stream) = 0;
    virtual void Close() = 0;

    // Byte access (file and download sources). Read returns the bytes copied into `buffer`.
    virtual size_t Read(void* buffer, size_t bytes) { (void)buffer; (void)bytes; return 0; }
    // New position, or -1 when the seek is refused. Current with offset 0 tells the position.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) { (void)offset; (void)origin; return -1; }
    // Reads up to `capacity - 1` bytes or through the next '\n', zero-terminated; false at end.
    virtual bool ReadLine(char* line, size_t capacity) { (void)line; (void)capacity; return false; }
    virtual int64_t Size() const { return 0; }
    virtual bool AtEnd() const { return true; }
    virtual uint32_t Status() const { return 0; }

    // Pushed-stream operations.
    virtual bool SetBufferSize(uint32_t bytes) { (void)bytes; return false; }
    virtual uint32_t BufferRemain() const { return 0; }
    virtual bool ResetBuffer() { return false; }
    virtual bool RearmCallback() { return false; }
    virtual bool SetCallback(const SourceCallbackSettings& settings) { (void)settings; return true; }
    virtual bool Append(const uint8_t* data, size_t bytes) { (void)data; (void)bytes; return false; }
    virtual uint32_t QueuedVideoFrames() const { return 0; }
    virtual uint32_t QueuedAudioPieces() const { return 0; }
    virtual bool TakeVideoFrame(QueuedPiece& frame) { (void)frame; return false; }
    virtual bool TakeAudioPiece(QueuedPiece& piece) { (void)piece; return false; }
    virtual uint32_t NextVideoFrameSize() const { return 0; }
    virtual bool GetStreamInfo(StreamVideoInfo& video, StreamAudioInfo& audio) const {
        (void)video; (void)audio; return false;
    }
};

}  // namespace pellix
