#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "player_engine/inputs/Input.h"

namespace pellix {

// The port's source: makes the source that fits what is opened and forwards every source
// operation to it. With no source active an operation answers 0 (setting the callback 1).
// Called from the port's UI-thread operations; the active source guards its own data.
class InputWrapper final : public Input {
public:
    explicit InputWrapper(int port);
    ~InputWrapper() override;

    const char* DisplayName() const override { return "Input Wrapper"; }

    // Copies the header of a pushed stream; used by the next stream open.
    bool StoreHeader(const uint8_t* header, size_t bytes);
    // The source in use, or null; the splitter looks at its display name.
    Input* Active() const { return active_; }

    bool Open(const char* name, bool binary, bool stream) override;
    void Close() override;
    size_t Read(void* buffer, size_t bytes) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    bool ReadLine(char* line, size_t capacity) override;
    int64_t Size() const override;
    bool AtEnd() const override;
    uint32_t Status() const override;
    bool SetBufferSize(uint32_t bytes) override;
    uint32_t BufferRemain() const override;
    bool ResetBuffer() override;
    bool RearmCallback() override;
    bool SetCallback(const SourceCallbackSettings& settings) override;
    bool Append(const uint8_t* data, size_t bytes) override;
    uint32_t QueuedVideoFrames() const override;
    uint32_t QueuedAudioPieces() const override;
    bool TakeVideoFrame(QueuedPiece& frame) override;
    bool TakeAudioPiece(QueuedPiece& piece) override;
    uint32_t NextVideoFrameSize() const override;
    bool GetStreamInfo(StreamVideoInfo& video, StreamAudioInfo& audio) const override;

private:
    const int port_;
    // Immutable while a source is open; set before the source's own threads start.
    std::unique_ptr<Input> source_;
    Input* active_ = nullptr;
    std::vector<uint8_t> header_;
    SourceCallbackSettings callback_;
};

// True for the addresses the download source handles.
bool IsDownloadAddress(const char* name);

}  // namespace pellix
