#pragma once
// Media objects: the component runtime (CoInitialize, CoCreateInstance, the task
// allocator), the IUnknown / IMediaBuffer / IMediaObject interfaces and their records, in
// the call shapes of the Windows services. The one media object the runtime creates is the
// Windows Media Video decoder (class CLSID_CWMVDecMediaObject), backed by libavcodec; its
// input subtype picks the decoder (WMV1, WMV2, WMV3, WVC1) and its output subtype the
// picture layout (YV12, I420/IYUV, YUY2, RGB24, RGB32).
//
// A media object is used by one thread at a time.

#include <cstdint>

#include "platform/codecs/Vfw.h"

namespace platform {

using HRESULT = std::int32_t;
using BYTE = std::uint8_t;
using REFERENCE_TIME = std::int64_t;  // 100-nanosecond units

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT DMO_E_NOTACCEPTING = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT DMO_E_INVALIDSTREAMINDEX = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT DMO_E_INVALIDTYPE = static_cast<HRESULT>(0x80040203u);
constexpr HRESULT DMO_E_TYPE_NOT_SET = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT DMO_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x80040205u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
bool operator==(const GUID& a, const GUID& b);

// The media subtype GUID of a FourCC: {FOURCC-0000-0010-8000-00AA00389B71}.
GUID MediaSubtypeForFourCC(std::uint32_t fourcc);

extern const GUID IID_IUnknown;
extern const GUID IID_IMediaBuffer;
extern const GUID IID_IMediaObject;
extern const GUID CLSID_CWMVDecMediaObject;
extern const GUID MEDIATYPE_Video;
extern const GUID MEDIASUBTYPE_WMV1;
extern const GUID MEDIASUBTYPE_WMV2;
extern const GUID MEDIASUBTYPE_WMV3;
extern const GUID MEDIASUBTYPE_WVC1;
extern const GUID MEDIASUBTYPE_YV12;
extern const GUID MEDIASUBTYPE_I420;
extern const GUID MEDIASUBTYPE_IYUV;
extern const GUID MEDIASUBTYPE_YUY2;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID MEDIASUBTYPE_RGB32;
extern const GUID FORMAT_VideoInfo;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;  // objects go away through Release
};

class IMediaBuffer : public IUnknown {
public:
    virtual HRESULT SetLength(DWORD length) = 0;
    virtual HRESULT GetMaxLength(DWORD* maxLength) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;

protected:
    ~IMediaBuffer() = default;
};

struct RECT {
    std::int32_t left, top, right, bottom;
};

// The 88-byte video information format block; codec data, if any, follows bmiHeader.
struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct DMO_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    std::int32_t bFixedSizeSamples;
    std::int32_t bTemporalCompression;
    std::uint32_t lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    std::uint32_t cbFormat;
    BYTE* pbFormat;  // cbFormat bytes, a VIDEOINFOHEADER for FORMAT_VideoInfo
};

struct DMO_OUTPUT_DATA_BUFFER {
    IMediaBuffer* pBuffer;
    DWORD dwStatus;
    REFERENCE_TIME rtTimestamp;
    REFERENCE_TIME rtTimelength;
};

constexpr DWORD DMO_INPUT_DATA_BUFFERF_SYNCPOINT = 0x1;
constexpr DWORD DMO_INPUT_DATA_BUFFERF_TIME = 0x2;
constexpr DWORD DMO_INPUT_DATA_BUFFERF_TIMELENGTH = 0x4;
constexpr DWORD DMO_INPUT_STATUSF_ACCEPT_DATA = 0x1;
constexpr DWORD DMO_OUTPUT_DATA_BUFFERF_SYNCPOINT = 0x1;
constexpr DWORD DMO_SET_TYPEF_TEST_ONLY = 0x1;
constexpr DWORD DMO_SET_TYPEF_CLEAR = 0x2;
constexpr DWORD DMO_PROCESS_OUTPUT_DISCARD_WHEN_NO_BUFFER = 0x1;

class IMediaObject : public IUnknown {
public:
    virtual HRESULT GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) = 0;
    // Copies the type (and its format block) or, with DMO_SET_TYPEF_TEST_ONLY, only checks
    // it; DMO_SET_TYPEF_CLEAR unsets it. Setting the input type drops the output type.
    virtual HRESULT SetInputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) = 0;
    virtual HRESULT SetOutputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) = 0;
    virtual HRESULT Flush() = 0;
    virtual HRESULT Discontinuity(DWORD stream) = 0;
    virtual HRESULT GetInputStatus(DWORD stream, DWORD* flags) = 0;
    // Decodes the buffer's bytes at once; the object keeps no reference to the buffer.
    // DMO_E_NOTACCEPTING while a picture waits for ProcessOutput; S_FALSE when the frame
    // gives no picture; E_FAIL for data the decoder rejects.
    virtual HRESULT ProcessInput(DWORD stream, IMediaBuffer* buffer, DWORD flags,
                                 REFERENCE_TIME timestamp, REFERENCE_TIME timelength) = 0;
    // Writes the waiting picture into the one output buffer and sets its length: S_OK; with
    // no picture waiting S_FALSE and the buffer untouched.
    virtual HRESULT ProcessOutput(DWORD flags, DWORD bufferCount, DMO_OUTPUT_DATA_BUFFER* buffers,
                                  DWORD* status) = 0;

protected:
    ~IMediaObject() = default;
};

// The component runtime counts initialisations per thread; objects are created only on a
// thread that has initialised it.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid, void** object);
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* memory);

}  // namespace platform
