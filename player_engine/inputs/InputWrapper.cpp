#include "player_engine/inputs/InputWrapper.h"

#include <cstring>

#include "player_engine/inputs/FileInput.h"
#include "player_engine/inputs/HttpFtpInput.h"
#include "player_engine/inputs/StreamInput.h"

namespace pellix {

bool IsDownloadAddress(const char* name) {
    if (name == nullptr) return false;
    static const char* const kPrefixes[] = {"http://", "ftp://", "HTTP://", "FTP://"};
    for (const char* prefix : kPrefixes)
        if (std::strstr(name, prefix) != nullptr) return true;
    return false;
}

InputWrapper::InputWrapper(int port) : port_(port) { callback_.port = port; }

InputWrapper::~InputWrapper() { Close(); }

bool InputWrapper::StoreHeader(const uint8_t* header, size_t bytes) {
    if (header == nullptr || bytes == 0) return false;
    header_.assign(header, header + bytes);
    return true;
}

namespace {

// What a source is made from: the port, and the stored header for a pushed stream.
struct InputRequest {
    int port;
    const char* name;
    bool stream;
    const std::vector<uint8_t>& header;
    const SourceCallbackSettings& callback;
};

// One kind of source: when it applies and how it is made. A factory returns null when the
// source cannot take what is asked of it (a refused stream header).
struct InputDesc {
    const char* name;
    bool (*applies)(const InputRequest& request);
    std::unique_ptr<Input> (*make)(const InputRequest& request);
};

std::unique_ptr<Input> MakeStreamInput(const InputRequest& request) {
    auto input = std::make_unique<StreamInput>();
    input->SetCallback(request.callback);
    if (!input->ReadHeader(request.header.data(), request.header.size())) return nullptr;
    return input;
}

// The sources in the order they are tried; the first that applies is made.
const InputDesc kInputList[] = {
    {"Stream Input",
     [](const InputRequest& r) { return r.stream && !r.header.empty(); },
     &MakeStreamInput},
    {"HTTP/FTP Input",
     [](const InputRequest& r) { return !r.stream && IsDownloadAddress(r.name); },
     [](const InputRequest& r) -> std::unique_ptr<Input> { return std::make_unique<HttpFtpInput>(r.port); }},
    {"FILE Input",
     [](const InputRequest& r) { return !r.stream && r.name != nullptr; },
     [](const InputRequest&) -> std::unique_ptr<Input> { return std::make_unique<FileInput>(); }},
};

}  // namespace

bool InputWrapper::Open(const char* name, bool binary, bool stream) {
    if (active_ != nullptr) return false;
    const InputRequest request{port_, name, stream, header_, callback_};
    for (const InputDesc& desc : kInputList) {
        if (!desc.applies(request)) continue;
        std::unique_ptr<Input> input = desc.make(request);
        if (!input) return false;
        // Set before the source opens: a pushed stream's parsing thread starts inside Open and
        // may call back into the port (a source-buffer callback re-arming its flag) at once.
        active_ = input.get();
        if (!input->Open(name, binary, stream)) {
            active_ = nullptr;
            return false;
        }
        source_ = std::move(input);
        return true;
    }
    return false;
}

void InputWrapper::Close() {
    if (source_) source_->Close();
    active_ = nullptr;
    source_.reset();
}

size_t InputWrapper::Read(void* buffer, size_t bytes) { return active_ ? active_->Read(buffer, bytes) : 0; }
int64_t InputWrapper::Seek(int64_t offset, SeekOrigin origin) { return active_ ? active_->Seek(offset, origin) : 0; }
bool InputWrapper::ReadLine(char* line, size_t capacity) { return active_ ? active_->ReadLine(line, capacity) : false; }
int64_t InputWrapper::Size() const { return active_ ? active_->Size() : 0; }
bool InputWrapper::AtEnd() const { return active_ ? active_->AtEnd() : false; }
uint32_t InputWrapper::Status() const { return active_ ? active_->Status() : 0; }
bool InputWrapper::SetBufferSize(uint32_t bytes) { return active_ ? active_->SetBufferSize(bytes) : false; }
uint32_t InputWrapper::BufferRemain() const { return active_ ? active_->BufferRemain() : 0; }
bool InputWrapper::ResetBuffer() { return active_ ? active_->ResetBuffer() : false; }
bool InputWrapper::RearmCallback() { return active_ ? active_->RearmCallback() : false; }

bool InputWrapper::SetCallback(const SourceCallbackSettings& settings) {
    callback_ = settings;
    callback_.port = port_;
    if (active_) active_->SetCallback(callback_);
    return true;
}

bool InputWrapper::Append(const uint8_t* data, size_t bytes) { return active_ ? active_->Append(data, bytes) : false; }
uint32_t InputWrapper::QueuedVideoFrames() const { return active_ ? active_->QueuedVideoFrames() : 0; }
uint32_t InputWrapper::QueuedAudioPieces() const { return active_ ? active_->QueuedAudioPieces() : 0; }
bool InputWrapper::TakeVideoFrame(QueuedPiece& frame) { return active_ ? active_->TakeVideoFrame(frame) : false; }
bool InputWrapper::TakeAudioPiece(QueuedPiece& piece) { return active_ ? active_->TakeAudioPiece(piece) : false; }
uint32_t InputWrapper::NextVideoFrameSize() const { return active_ ? active_->NextVideoFrameSize() : 0; }
bool InputWrapper::GetStreamInfo(StreamVideoInfo& video, StreamAudioInfo& audio) const {
    return active_ ? active_->GetStreamInfo(video, audio) : false;
}

}  // namespace pellix
