#include "platform/codecs/MediaObject.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/platform/codecs/TestMedia.h"

using namespace platform;

namespace {

// A media buffer over a vector, as a caller of the media object makes one.
class VectorBuffer final : public IMediaBuffer {
public:
    explicit VectorBuffer(std::vector<std::uint8_t>& bytes, DWORD length) : bytes_(bytes), length_(length) {}
    HRESULT QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return ++references_; }
    std::uint32_t Release() override { return --references_; }
    HRESULT SetLength(DWORD length) override
    {
        length_ = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* maxLength) override
    {
        *maxLength = static_cast<DWORD>(bytes_.size());
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override
    {
        if (buffer != nullptr)
            *buffer = bytes_.data();
        if (length != nullptr)
            *length = length_;
        return S_OK;
    }
    DWORD Length() const { return length_; }
    std::uint32_t references_ = 1;

private:
    std::vector<std::uint8_t>& bytes_;
    DWORD length_;
};

// A video type with its format block: the video information header and the codec data.
struct VideoType {
    std::vector<std::uint8_t> format;
    DMO_MEDIA_TYPE type{};

    VideoType(const GUID& subtype, int width, int height, DWORD compression, int bits,
              const std::vector<std::uint8_t>& codecData = {})
    {
        format.resize(sizeof(VIDEOINFOHEADER) + codecData.size());
        VIDEOINFOHEADER info{};
        info.rcSource = {0, 0, width, height};
        info.rcTarget = info.rcSource;
        info.bmiHeader.biSize = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + codecData.size());
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = static_cast<std::uint16_t>(bits);
        info.bmiHeader.biCompression = compression;
        std::memcpy(format.data(), &info, sizeof info);
        if (!codecData.empty())
            std::memcpy(format.data() + sizeof info, codecData.data(), codecData.size());
        type.majortype = MEDIATYPE_Video;
        type.subtype = subtype;
        type.bTemporalCompression = 1;
        type.formattype = FORMAT_VideoInfo;
        type.cbFormat = static_cast<std::uint32_t>(format.size());
        type.pbFormat = format.data();
    }
};

IMediaObject* CreateDecoder()
{
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_CWMVDecMediaObject, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaObject, &object),
              S_OK);
    return static_cast<IMediaObject*>(object);
}

}  // namespace

TEST(MediaObject, RuntimeCreatesOnlyTheVideoDecoderOnAnInitialisedThread)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_CWMVDecMediaObject, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaObject, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoCreateInstance(IID_IMediaBuffer, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaObject, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_CWMVDecMediaObject, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaBuffer, &object),
              E_NOINTERFACE);
    IMediaObject* decoder = CreateDecoder();
    ASSERT_NE(decoder, nullptr);
    void* unknown = nullptr;
    EXPECT_EQ(decoder->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(decoder->Release(), 1u);
    EXPECT_EQ(decoder->Release(), 0u);
    CoUninitialize();
    CoUninitialize();
}

TEST(MediaObject, TypesAreCheckedBeforeAnyFrame)
{
    CoInitialize(nullptr);
    IMediaObject* decoder = CreateDecoder();
    ASSERT_NE(decoder, nullptr);
    VideoType yv12(MEDIASUBTYPE_YV12, 352, 288, MakeFourCC('Y', 'V', '1', '2'), 12);
    EXPECT_EQ(decoder->SetOutputType(0, &yv12.type, 0), DMO_E_TYPE_NOT_SET);
    EXPECT_EQ(decoder->SetInputType(1, &yv12.type, 0), DMO_E_INVALIDSTREAMINDEX);
    EXPECT_EQ(decoder->SetInputType(0, &yv12.type, 0), DMO_E_TYPE_NOT_ACCEPTED);  // not compressed video
    VideoType truncated(MEDIASUBTYPE_WMV2, 352, 288, MakeFourCC('W', 'M', 'V', '2'), 24);
    truncated.type.cbFormat = 40;
    EXPECT_EQ(decoder->SetInputType(0, &truncated.type, 0), DMO_E_TYPE_NOT_ACCEPTED);

    const test_media::EncodedStream stream = test_media::Encode("wmv2", 352, 288, 2);
    VideoType wmv2(MEDIASUBTYPE_WMV2, 352, 288, MakeFourCC('W', 'M', 'V', '2'), 24, stream.codecData);
    EXPECT_EQ(decoder->SetInputType(0, &wmv2.type, DMO_SET_TYPEF_TEST_ONLY), S_OK);
    ASSERT_EQ(decoder->SetInputType(0, &wmv2.type, 0), S_OK);
    VideoType smaller(MEDIASUBTYPE_YV12, 176, 144, MakeFourCC('Y', 'V', '1', '2'), 12);
    EXPECT_EQ(decoder->SetOutputType(0, &smaller.type, 0), DMO_E_TYPE_NOT_ACCEPTED);

    // No frame is taken while the output type is missing.
    std::vector<std::uint8_t> frame(stream.frames[0].data);
    VectorBuffer input(frame, static_cast<DWORD>(frame.size()));
    EXPECT_EQ(decoder->ProcessInput(0, &input, DMO_INPUT_DATA_BUFFERF_SYNCPOINT, 0, 0), DMO_E_TYPE_NOT_SET);
    decoder->Release();
    CoUninitialize();
}

// The media object's plumbing decodes WMV2 here: libavcodec has no WMV3 encoder to make a
// stream with, and the object serves both through the same interface.
TEST(MediaObject, DecodesWindowsMediaVideoFrameByFrame)
{
    const int w = 352;
    const int h = 288;
    const test_media::EncodedStream stream = test_media::Encode("wmv2", w, h, 24, 8);
    const auto reference = test_media::ReferenceDecode("wmv2", stream);
    CoInitialize(nullptr);
    IMediaObject* decoder = CreateDecoder();
    ASSERT_NE(decoder, nullptr);
    VideoType in(MEDIASUBTYPE_WMV2, w, h, MakeFourCC('W', 'M', 'V', '2'), 24, stream.codecData);
    VideoType out(MEDIASUBTYPE_YV12, w, h, MakeFourCC('Y', 'V', '1', '2'), 12);
    ASSERT_EQ(decoder->SetInputType(0, &in.type, 0), S_OK);
    ASSERT_EQ(decoder->SetOutputType(0, &out.type, 0), S_OK);

    std::vector<std::uint8_t> picture(reference[0].size());
    VectorBuffer output(picture, 0);
    for (std::size_t i = 0; i < stream.frames.size(); ++i) {
        std::vector<std::uint8_t> frame(stream.frames[i].data);
        VectorBuffer input(frame, static_cast<DWORD>(frame.size()));
        DWORD status = 0;
        ASSERT_EQ(decoder->GetInputStatus(0, &status), S_OK);
        EXPECT_EQ(status, DMO_INPUT_STATUSF_ACCEPT_DATA);
        ASSERT_EQ(decoder->ProcessInput(0, &input, DMO_INPUT_DATA_BUFFERF_SYNCPOINT, 0, 0), S_OK);
        if (i == 3) {
            // A picture waits: the next frame is refused until it is taken.
            EXPECT_EQ(decoder->GetInputStatus(0, &status), S_OK);
            EXPECT_EQ(status, 0u);
            EXPECT_EQ(decoder->ProcessInput(0, &input, 0, 0, 0), DMO_E_NOTACCEPTING);
        }
        EXPECT_EQ(input.references_, 1u);  // the object keeps no reference to the frame
        DMO_OUTPUT_DATA_BUFFER record{&output, 0, 0, 0};
        DWORD outputStatus = 0;
        ASSERT_EQ(decoder->ProcessOutput(0, 1, &record, &outputStatus), S_OK);
        EXPECT_EQ(output.Length(), picture.size());
        ASSERT_EQ(0, std::memcmp(picture.data(), reference[i].data(), picture.size())) << "frame " << i;
        // Nothing more waits.
        EXPECT_EQ(decoder->ProcessOutput(0, 1, &record, &outputStatus), S_FALSE);
    }

    // An output buffer smaller than a picture is refused and left alone.
    std::vector<std::uint8_t> small(100, 0x11);
    VectorBuffer smallOutput(small, 0);
    std::vector<std::uint8_t> frame(stream.frames[0].data);
    VectorBuffer input(frame, static_cast<DWORD>(frame.size()));
    ASSERT_EQ(decoder->ProcessInput(0, &input, 0, 0, 0), S_OK);
    DMO_OUTPUT_DATA_BUFFER record{&smallOutput, 0, 0, 0};
    EXPECT_EQ(decoder->ProcessOutput(0, 1, &record, nullptr), E_INVALIDARG);
    EXPECT_EQ(small[0], 0x11);
    EXPECT_EQ(decoder->Flush(), S_OK);
    decoder->Release();
    CoUninitialize();
}
