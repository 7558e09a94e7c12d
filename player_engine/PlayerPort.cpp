#include "player_engine/PlayerPort.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "common/TraceMessage.h"
#include "player_engine/ErrorCode.h"

namespace pellix {

namespace {
constexpr size_t kMaxFileNameChars = 259;
}

PlayerPort::PlayerPort(int port)
    : input_(port), splitter_(port), renderer_(port), port_(port), clock_mutex_(false) {
    SetLastError(ErrorCode::None);
}

PlayerPort::~PlayerPort() { CloseMedia(); }

bool PlayerPort::SetStreamOpenMode(int mode) {
    SetLastError(ErrorCode::None);
    if (mode != 0 && mode != 1) {
        SetLastError(ErrorCode::BadArgument);
        return false;
    }
    open_mode_ = static_cast<StreamOpenMode>(mode);
    return true;
}

void PlayerPort::CloseMedia() {
    if (closed_) return;
    Stop();
    splitter_.Close();
    input_.Close();
    CloseOutputs();
    video_decoder_.Close();
    audio_decoder_.Close();
    has_video_ = false;
    has_audio_ = false;
    source_kind_ = SourceKind::None;
    closed_ = true;
}

bool PlayerPort::OpenTail(SourceKind kind) {
    if (!splitter_.Open(input_.Active())) {
        SetLastError(ErrorCode::ContainerUnreadable);
        CloseMedia();
        return false;
    }
    if (splitter_.HasVideo()) {
        if (video_decoder_.Open(&splitter_))
            has_video_ = true;
        else
            SetLastError(ErrorCode::DecoderOpenFailed);
    }
    if (splitter_.HasAudio()) {
        // Pictures play without sound when the sound cannot be decoded.
        if (audio_decoder_.Open(&splitter_))
            has_audio_ = true;
        else
            SetLastError(ErrorCode::DecoderOpenFailed);
    }
    if (!has_video_) {
        CloseMedia();
        return false;
    }
    source_kind_ = kind;
    frame_rate_ = splitter_.FrameRate();
    return true;
}

bool PlayerPort::OpenFile(const char* name) {
    SetLastError(ErrorCode::None);
    CloseMedia();
    paused_ = stepping_ = false;
    has_video_ = has_audio_ = false;
    speed_ = 1.0f;
    if (name == nullptr) {
        SetLastError(ErrorCode::BadArgument);
        return false;
    }
    closed_ = false;
    file_name_.assign(name, strnlen(name, kMaxFileNameChars));
    if (!input_.Open(file_name_.c_str(), true, false)) {
        SetLastError(ErrorCode::FileOpenFailed);
        CloseMedia();
        return false;
    }
    return OpenTail(SourceKind::File);
}

bool PlayerPort::OpenStream(const uint8_t* header, int header_bytes, int buffer_bytes) {
    SetLastError(ErrorCode::None);
    CloseMedia();
    paused_ = stepping_ = false;
    has_video_ = has_audio_ = false;
    speed_ = 1.0f;
    if (header == nullptr || header_bytes <= 0 || !input_.StoreHeader(header, static_cast<size_t>(header_bytes))) {
        SetLastError(ErrorCode::HeaderNotStored);
        return false;
    }
    closed_ = false;
    // A header the stream source cannot use fails the open without an error code.
    if (!input_.Open(nullptr, true, true)) {
        CloseMedia();
        return false;
    }
    if (buffer_bytes < 0 || !input_.SetBufferSize(static_cast<uint32_t>(buffer_bytes))) {
        SetLastError(ErrorCode::StreamBufferSizeRefused);
        CloseMedia();
        return false;
    }
    return OpenTail(SourceKind::Stream);
}

bool PlayerPort::InputData(const uint8_t* data, int bytes) {
    SetLastError(ErrorCode::None);
    if (data == nullptr || bytes < 0 || !input_.Append(data, static_cast<size_t>(bytes))) {
        SetLastError(ErrorCode::InputRefused);
        return false;
    }
    return true;
}

void PlayerPort::SetFileEndMessage(void* window, unsigned int message) {
    end_window_ = window;
    end_message_ = message;
    end_sent_ = false;
}

uint32_t PlayerPort::SourceBufferRemain() const { return input_.BufferRemain(); }

bool PlayerPort::ResetSourceBuffer() {
    input_.ResetBuffer();
    return true;
}

bool PlayerPort::SetSourceBufferCallback(uint32_t threshold, SourceBufferCallback callback, void* user) {
    SourceCallbackSettings settings;
    settings.port = port_;
    settings.threshold_bytes = threshold;
    settings.callback = callback;
    settings.user = user;
    return input_.SetCallback(settings);
}

bool PlayerPort::RearmSourceBufferCallback() { return input_.RearmCallback(); }







float PlayerPort::PlayPosition() const { return static_cast<float>(splitter_.PlayPosition()); }


uint32_t PlayerPort::CurrentFrame() const { return has_video_ ? splitter_.CurrentFrameNumber() : 0; }

uint32_t PlayerPort::PlayedTimeMs() const {
    const double rate = splitter_.FrameRate();
    if (!has_video_ || rate <= 0.0) return 0;
    return static_cast<uint32_t>(splitter_.CurrentFrameNumber() * 1000.0 / rate);
}

uint32_t PlayerPort::FileTimeMs() const {
    const double rate = splitter_.FrameRate();
    if (source_kind_ != SourceKind::File || !has_video_ || rate <= 0.0) return 0;
    return static_cast<uint32_t>(splitter_.FrameCount() * 1000.0 / rate);
}

uint32_t PlayerPort::TotalFrames() const { return splitter_.FrameCount(); }

uint32_t PlayerPort::CurrentFrameRate() const {
    const double rate = splitter_.FrameRate();
    if (speed_.load() <= 0.0f) return 0;
    const float speed = speed_;
    return static_cast<uint32_t>(rate / speed);
}

bool PlayerPort::PictureSize(int* width, int* height) const {
    const int w = splitter_.Width();
    const int h = splitter_.Height() < 0 ? -splitter_.Height() : splitter_.Height();
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return w > 0 && h > 0;
}



bool PlayerPort::SetVolume(uint16_t volume) {
    SetLastError(ErrorCode::None);
    volume_ = volume;
    if (!sound_output_.IsOpen()) return false;
    if (!sound_output_.SetVolume(volume)) {
        SetLastError(ErrorCode::VolumeRefused);
        return false;
    }
    return true;
}

bool PlayerPort::SetDisplayBuffer(uint32_t frames) {
    SetLastError(ErrorCode::None);
    if (frame_buffer_.IsOpen() || audio_buffer_.IsOpen() || !frame_buffer_.SetCount(frames) ||
        !audio_buffer_.SetCount(frames)) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    return true;
}

bool PlayerPort::SetDecodeCallback(DecodeCallback callback, void* user) {
    if (playing_ || callback == nullptr) return false;
    decode_callback_ = callback;
    decode_user_ = user;
    return true;
}

bool PlayerPort::SetVerifyCallback(uint32_t begin, uint32_t end, VerifyCallback callback, void* user) {
    VerifySettings settings;
    settings.port = port_;
    settings.begin = begin;
    settings.end = end;
    settings.callback = callback;
    settings.user = user;
    if (video_decoder_.IsOpen()) return video_decoder_.StoreVerify(settings);
    return splitter_.StoreVerify(settings);
}

}  // namespace pellix
