// The component runtime and the Windows Media Video decoder object over libavcodec.

#include "platform/codecs/MediaObject.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/codecs/CodecFourCC.h"
#include "platform/codecs/FrameDecoder.h"
#include "platform/codecs/PictureWriter.h"

namespace platform {

namespace {

constexpr GUID FourCCSubtype(char a, char b, char c, char d)
{
    return GUID{MakeFourCC(a, b, c, d), 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

}  // namespace

bool operator==(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

GUID MediaSubtypeForFourCC(std::uint32_t fourcc)
{
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IID_IMediaBuffer = {0x59EFF8B9, 0x938C, 0x4A26, {0x82, 0xF2, 0x95, 0xCB, 0x84, 0xCD, 0xC8, 0x37}};
const GUID IID_IMediaObject = {0xD8AD0F58, 0x5494, 0x4102, {0x97, 0xC5, 0xEC, 0x79, 0x8E, 0x59, 0xBC, 0xF4}};
const GUID CLSID_CWMVDecMediaObject = {0x82D353DF, 0x90BD, 0x4382, {0x8B, 0xC2, 0x3F, 0x61, 0x92, 0xB7, 0x6E, 0x34}};
const GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_WMV1 = FourCCSubtype('W', 'M', 'V', '1');
const GUID MEDIASUBTYPE_WMV2 = FourCCSubtype('W', 'M', 'V', '2');
const GUID MEDIASUBTYPE_WMV3 = FourCCSubtype('W', 'M', 'V', '3');
const GUID MEDIASUBTYPE_WVC1 = FourCCSubtype('W', 'V', 'C', '1');
const GUID MEDIASUBTYPE_YV12 = FourCCSubtype('Y', 'V', '1', '2');
const GUID MEDIASUBTYPE_I420 = FourCCSubtype('I', '4', '2', '0');
const GUID MEDIASUBTYPE_IYUV = FourCCSubtype('I', 'Y', 'U', 'V');
const GUID MEDIASUBTYPE_YUY2 = FourCCSubtype('Y', 'U', 'Y', '2');
const GUID MEDIASUBTYPE_RGB24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID MEDIASUBTYPE_RGB32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

namespace {

// Initialisations of the component runtime on this thread.
thread_local int t_comInitialisations = 0;

bool IsFourCCSubtype(const GUID& subtype)
{
    const GUID pattern = MediaSubtypeForFourCC(subtype.Data1);
    return pattern == subtype;
}

// A copy of a caller's media type with its own format block.
class OwnedMediaType {
public:
    OwnedMediaType() = default;
    OwnedMediaType(const OwnedMediaType&) = delete;
    OwnedMediaType& operator=(const OwnedMediaType&) = delete;
    ~OwnedMediaType() { Clear(); }

    bool Assign(const DMO_MEDIA_TYPE& type)
    {
        Clear();
        type_ = type;
        type_.pUnk = nullptr;
        type_.pbFormat = nullptr;
        if (type.cbFormat > 0) {
            type_.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.cbFormat));
            if (type_.pbFormat == nullptr) {
                type_.cbFormat = 0;
                return false;
            }
            std::memcpy(type_.pbFormat, type.pbFormat, type.cbFormat);
        }
        set_ = true;
        return true;
    }

    void Clear()
    {
        CoTaskMemFree(type_.pbFormat);
        type_ = DMO_MEDIA_TYPE{};
        set_ = false;
    }

    bool IsSet() const { return set_; }
    const VIDEOINFOHEADER& VideoInfo() const { return *reinterpret_cast<const VIDEOINFOHEADER*>(type_.pbFormat); }
    const DMO_MEDIA_TYPE& Type() const { return type_; }

private:
    DMO_MEDIA_TYPE type_{};
    bool set_ = false;
};

// Checks the parts every video type needs: video, a video information block that holds at
// least its header, and a sane picture size.
bool IsVideoInfoType(const DMO_MEDIA_TYPE& type)
{
    if (!(type.majortype == MEDIATYPE_Video) || !(type.formattype == FORMAT_VideoInfo))
        return false;
    if (type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto& info = *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    const int height = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
    return info.bmiHeader.biWidth > 0 && info.bmiHeader.biWidth <= 16384 && height > 0 && height <= 16384;
}

PictureLayout LayoutOfSubtype(const GUID& subtype)
{
    if (subtype == MEDIASUBTYPE_YV12)
        return PictureLayout::YV12;
    if (subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_IYUV)
        return PictureLayout::I420;
    if (subtype == MEDIASUBTYPE_YUY2)
        return PictureLayout::YUY2;
    if (subtype == MEDIASUBTYPE_RGB24)
        return PictureLayout::RGB24;
    if (subtype == MEDIASUBTYPE_RGB32)
        return PictureLayout::RGB32;
    return PictureLayout::None;
}

class WmvDecoderObject final : public IMediaObject {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMediaObject) {
            AddRef();
            *object = static_cast<IMediaObject*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    std::uint32_t AddRef() override { return ++references_; }

    std::uint32_t Release() override
    {
        const std::uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) override
    {
        if (inputStreams == nullptr || outputStreams == nullptr)
            return E_POINTER;
        *inputStreams = 1;
        *outputStreams = 1;
        return S_OK;
    }

    HRESULT SetInputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if ((flags & DMO_SET_TYPEF_CLEAR) != 0) {
            decoder_.Close();
            input_.Clear();
            output_.Clear();
            return S_OK;
        }
        if (type == nullptr)
            return E_POINTER;
        if (!IsVideoInfoType(*type) || !IsFourCCSubtype(type->subtype))
            return DMO_E_TYPE_NOT_ACCEPTED;
        const AVCodecID codec = DecoderForFourCC(type->subtype.Data1);
        if (codec != AV_CODEC_ID_WMV1 && codec != AV_CODEC_ID_WMV2 && codec != AV_CODEC_ID_WMV3 &&
            codec != AV_CODEC_ID_VC1)
            return DMO_E_TYPE_NOT_ACCEPTED;
        const auto& info = *reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        // Codec data follows the bitmap header inside the format block; biSize counts it.
        std::size_t codecDataSize = 0;
        if (info.bmiHeader.biSize > sizeof(BITMAPINFOHEADER)) {
            codecDataSize = info.bmiHeader.biSize - sizeof(BITMAPINFOHEADER);
            const std::size_t available = type->cbFormat - sizeof(VIDEOINFOHEADER);
            if (codecDataSize > available)
                codecDataSize = available;
        }
        const int height = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
        FrameDecoder trial;
        FrameDecoder& target = (flags & DMO_SET_TYPEF_TEST_ONLY) != 0 ? trial : decoder_;
        const std::uint8_t* codecData = codecDataSize > 0 ? type->pbFormat + sizeof(VIDEOINFOHEADER) : nullptr;
        if (!target.Open(codec, info.bmiHeader.biWidth, height, UpperFourCC(type->subtype.Data1), codecData,
                         codecDataSize)) {
            if (&target == &decoder_) {
                input_.Clear();
                output_.Clear();
            }
            return DMO_E_TYPE_NOT_ACCEPTED;
        }
        if ((flags & DMO_SET_TYPEF_TEST_ONLY) != 0)
            return S_OK;
        output_.Clear();
        if (!input_.Assign(*type)) {
            decoder_.Close();
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT SetOutputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if ((flags & DMO_SET_TYPEF_CLEAR) != 0) {
            output_.Clear();
            return S_OK;
        }
        if (type == nullptr)
            return E_POINTER;
        if (!input_.IsSet())
            return DMO_E_TYPE_NOT_SET;
        if (!IsVideoInfoType(*type))
            return DMO_E_TYPE_NOT_ACCEPTED;
        const auto& info = *reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        const PictureLayout layout = LayoutOfSubtype(type->subtype);
        const auto& inputHeader = input_.VideoInfo().bmiHeader;
        const int inHeight = inputHeader.biHeight < 0 ? -inputHeader.biHeight : inputHeader.biHeight;
        const int outHeight = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
        if (layout == PictureLayout::None || info.bmiHeader.biWidth != inputHeader.biWidth || outHeight != inHeight)
            return DMO_E_TYPE_NOT_ACCEPTED;
        if ((flags & DMO_SET_TYPEF_TEST_ONLY) != 0)
            return S_OK;
        if (!output_.Assign(*type))
            return E_OUTOFMEMORY;
        layout_ = layout;
        width_ = info.bmiHeader.biWidth;
        height_ = outHeight;
        // RGB pictures of a positive height run bottom-up, as bitmaps do.
        bottomUp_ = info.bmiHeader.biHeight > 0;
        return S_OK;
    }

    HRESULT Flush() override
    {
        decoder_.Flush();
        return S_OK;
    }

    HRESULT Discontinuity(DWORD stream) override
    {
        return stream == 0 ? S_OK : DMO_E_INVALIDSTREAMINDEX;
    }

    HRESULT GetInputStatus(DWORD stream, DWORD* flags) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (flags == nullptr)
            return E_POINTER;
        *flags = decoder_.Picture() == nullptr ? DMO_INPUT_STATUSF_ACCEPT_DATA : 0;
        return S_OK;
    }

    HRESULT ProcessInput(DWORD stream, IMediaBuffer* buffer, DWORD /*flags*/, REFERENCE_TIME /*timestamp*/,
                         REFERENCE_TIME /*timelength*/) override
    {
        if (stream != 0)
            return DMO_E_INVALIDSTREAMINDEX;
        if (buffer == nullptr)
            return E_POINTER;
        if (!input_.IsSet() || !output_.IsSet())
            return DMO_E_TYPE_NOT_SET;
        if (decoder_.Picture() != nullptr)
            return DMO_E_NOTACCEPTING;
        BYTE* data = nullptr;
        DWORD length = 0;
        DWORD maxLength = 0;
        if (FAILED(buffer->GetBufferAndLength(&data, &length)) || FAILED(buffer->GetMaxLength(&maxLength)))
            return E_FAIL;
        if (data == nullptr || length == 0 || length > maxLength)
            return E_INVALIDARG;
        switch (decoder_.Decode(data, length)) {
        case FrameDecoder::Result::Picture:
            return S_OK;
        case FrameDecoder::Result::NoPicture:
            return S_FALSE;
        case FrameDecoder::Result::Error:
            break;
        }
        return E_FAIL;
    }

    HRESULT ProcessOutput(DWORD flags, DWORD bufferCount, DMO_OUTPUT_DATA_BUFFER* buffers, DWORD* status) override
    {
        if (bufferCount != 1 || buffers == nullptr)
            return E_INVALIDARG;
        if (status != nullptr)
            *status = 0;
        buffers[0].dwStatus = 0;
        if (!output_.IsSet())
            return DMO_E_TYPE_NOT_SET;
        const AVFrame* picture = decoder_.Picture();
        if (picture == nullptr)
            return S_FALSE;
        IMediaBuffer* buffer = buffers[0].pBuffer;
        if (buffer == nullptr) {
            if ((flags & DMO_PROCESS_OUTPUT_DISCARD_WHEN_NO_BUFFER) == 0)
                return E_POINTER;
            decoder_.ReleasePicture();
            return S_OK;
        }
        BYTE* data = nullptr;
        DWORD length = 0;
        DWORD maxLength = 0;
        if (FAILED(buffer->GetBufferAndLength(&data, &length)) || FAILED(buffer->GetMaxLength(&maxLength)))
            return E_FAIL;
        const std::size_t needed = PictureBytes(layout_, width_, height_);
        if (data == nullptr || maxLength < needed)
            return E_INVALIDARG;
        const bool written = writer_.Write(*picture, layout_, width_, height_, bottomUp_, data);
        decoder_.ReleasePicture();
        if (!written)
            return E_FAIL;
        buffer->SetLength(static_cast<DWORD>(needed));
        buffers[0].dwStatus = DMO_OUTPUT_DATA_BUFFERF_SYNCPOINT;
        return S_OK;
    }

private:
    ~WmvDecoderObject() = default;

    std::atomic<std::uint32_t> references_{1};
    OwnedMediaType input_;
    OwnedMediaType output_;
    FrameDecoder decoder_;
    PictureWriter writer_;
    PictureLayout layout_ = PictureLayout::None;
    int width_ = 0;
    int height_ = 0;
    bool bottomUp_ = false;
};

}  // namespace

HRESULT CoInitialize(void* /*reserved*/)
{
    return t_comInitialisations++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_comInitialisations > 0)
        --t_comInitialisations;
}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (t_comInitialisations == 0)
        return CO_E_NOTINITIALIZED;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    if (!(clsid == CLSID_CWMVDecMediaObject) || (context & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    auto* created = new (std::nothrow) WmvDecoderObject;
    if (created == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

void* CoTaskMemAlloc(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

void CoTaskMemFree(void* memory)
{
    std::free(memory);
}

}  // namespace platform
