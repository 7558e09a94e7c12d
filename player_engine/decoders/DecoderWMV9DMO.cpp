#include "player_engine/decoders/DecoderWMV9DMO.h"

#include <atomic>
#include <cstddef>
#include <cstring>

#include "common/TraceMessage.h"
#include "platform/codecs/GuardedCall.h"

namespace pellix {

namespace {

// A media buffer over memory the decoder owns: the compressed frame going in, or the ring
// entry's picture coming out. Lives on the stack of one decompression.
class BorrowedBuffer final : public platform::IMediaBuffer {
public:
    BorrowedBuffer(uint8_t* data, platform::DWORD length, platform::DWORD capacity)
        : data_(data), length_(length), capacity_(capacity) {}

    platform::HRESULT QueryInterface(const platform::GUID& iid, void** object) override {
        if (object == nullptr) return platform::E_POINTER;
        if (iid == platform::IID_IUnknown || iid == platform::IID_IMediaBuffer) {
            *object = this;
            AddRef();
            return platform::S_OK;
        }
        *object = nullptr;
        return platform::E_NOINTERFACE;
    }
    // The buffer's life is the caller's scope; the counts only keep the interface honest.
    uint32_t AddRef() override { return ++references_; }
    uint32_t Release() override { return --references_; }
    platform::HRESULT SetLength(platform::DWORD length) override {
        if (length > capacity_) return platform::E_INVALIDARG;
        length_ = length;
        return platform::S_OK;
    }
    platform::HRESULT GetMaxLength(platform::DWORD* max_length) override {
        if (max_length == nullptr) return platform::E_POINTER;
        *max_length = capacity_;
        return platform::S_OK;
    }
    platform::HRESULT GetBufferAndLength(platform::BYTE** buffer, platform::DWORD* length) override {
        if (buffer != nullptr) *buffer = data_;
        if (length != nullptr) *length = length_;
        return platform::S_OK;
    }
    platform::DWORD Length() const { return length_; }

private:
    uint8_t* data_;
    platform::DWORD length_;
    platform::DWORD capacity_;
    std::atomic<uint32_t> references_{1};
};

platform::DMO_MEDIA_TYPE VideoType(const platform::GUID& subtype, std::vector<uint8_t>& format) {
    platform::DMO_MEDIA_TYPE type{};
    type.majortype = platform::MEDIATYPE_Video;
    type.subtype = subtype;
    type.bTemporalCompression = 1;
    type.formattype = platform::FORMAT_VideoInfo;
    type.cbFormat = static_cast<uint32_t>(format.size());
    type.pbFormat = format.data();
    return type;
}

struct DecodeCall {
    platform::IMediaObject* object;
    BorrowedBuffer* input;
    BorrowedBuffer* output;
    platform::DWORD input_flags;
    bool picture;
};

void RunDecode(void* context) {
    auto* call = static_cast<DecodeCall*>(context);
    call->picture = false;
    platform::DWORD status = 0;
    if (platform::FAILED(call->object->GetInputStatus(0, &status)) ||
        (status & platform::DMO_INPUT_STATUSF_ACCEPT_DATA) == 0)
        return;
    const platform::HRESULT accepted = call->object->ProcessInput(0, call->input, call->input_flags, 0, 0);
    if (platform::FAILED(accepted) && accepted != platform::DMO_E_NOTACCEPTING) return;
    platform::DMO_OUTPUT_DATA_BUFFER output{call->output, 0, 0, 0};
    call->picture = call->object->ProcessOutput(0, 1, &output, &status) == platform::S_OK;
}

constexpr size_t kVideoInfoHead = offsetof(platform::VIDEOINFOHEADER, bmiHeader);   // 48 bytes

}  // namespace

DecoderWMV9DMO::DecoderWMV9DMO() { com_initialised_ = platform::SUCCEEDED(platform::CoInitialize(nullptr)); }

DecoderWMV9DMO::~DecoderWMV9DMO() {
    Close();
    if (com_initialised_) platform::CoUninitialize();
}

bool DecoderWMV9DMO::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& record = splitter->VideoFormat();
    if (record.size() < sizeof(platform::BITMAPINFOHEADER)) return false;
    platform::BITMAPINFOHEADER head{};
    std::memcpy(&head, record.data(), sizeof head);
    size_t record_bytes = head.biSize;
    if (record_bytes < sizeof head || record_bytes > record.size()) record_bytes = sizeof head;
    width_ = head.biWidth;
    height_ = head.biHeight < 0 ? -head.biHeight : head.biHeight;
    if (width_ <= 0 || height_ <= 0 || width_ > 4096 || height_ > 4096) return false;

    const platform::RECT picture{0, 0, width_, height_};
    platform::VIDEOINFOHEADER info{};
    info.rcSource = picture;
    info.rcTarget = picture;
    input_format_.assign(kVideoInfoHead + record_bytes, 0);
    std::memcpy(input_format_.data(), &info, kVideoInfoHead);
    std::memcpy(input_format_.data() + kVideoInfoHead, record.data(), record_bytes);
    reinterpret_cast<platform::BITMAPINFOHEADER*>(input_format_.data() + kVideoInfoHead)->biSize =
        static_cast<platform::DWORD>(record_bytes);

    info.bmiHeader = platform::BITMAPINFOHEADER{};
    info.bmiHeader.biSize = sizeof(platform::BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = platform::MakeFourCC('Y', 'U', 'Y', '2');
    info.bmiHeader.biSizeImage = OutputSize();
    output_format_.assign(sizeof info, 0);
    std::memcpy(output_format_.data(), &info, sizeof info);

    void* object = nullptr;
    if (!com_initialised_ ||
        platform::FAILED(platform::CoCreateInstance(platform::CLSID_CWMVDecMediaObject, nullptr,
                                                    platform::CLSCTX_INPROC_SERVER, platform::IID_IMediaObject,
                                                    &object)))
        return false;
    object_ = static_cast<platform::IMediaObject*>(object);
    const platform::DMO_MEDIA_TYPE input = VideoType(platform::MEDIASUBTYPE_WMV3, input_format_);
    const platform::DMO_MEDIA_TYPE output = VideoType(platform::MEDIASUBTYPE_YUY2, output_format_);
    if (platform::FAILED(object_->SetInputType(0, &input, 0)) || platform::FAILED(object_->SetOutputType(0, &output, 0))) {
        Close();
        return false;
    }
    splitter_ = splitter;
    return true;
}

void DecoderWMV9DMO::Close() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
    splitter_ = nullptr;
    input_format_.clear();
    output_format_.clear();
}

DecompressResult DecoderWMV9DMO::Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                            uint8_t* picture) {
    (void)walking_back;
    if (object_ == nullptr || size == 0) return DecompressResult::NoPicture;
    BorrowedBuffer input(const_cast<uint8_t*>(data), size, size);
    BorrowedBuffer output(picture, 0, OutputSize());
    DecodeCall call{object_, &input, &output, key_frame ? platform::DMO_INPUT_DATA_BUFFERF_SYNCPOINT : 0u, false};
    if (!platform::RunGuarded(RunDecode, &call)) return DecompressResult::Fault;
    return call.picture && output.Length() == OutputSize() ? DecompressResult::Picture : DecompressResult::NoPicture;
}

void DecoderWMV9DMO::OnFault(uint32_t position) {
    TraceMessage("Error in Decompress: Pos: %d", static_cast<int>(position));
}

}  // namespace pellix
