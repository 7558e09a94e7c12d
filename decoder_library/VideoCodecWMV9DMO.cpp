#include "decoder_library/VideoCodecWMV9DMO.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

// The WMV3 sequence header the recorders' streams are decoded with.
constexpr std::uint8_t kWmv3CodecData[4] = {0x47, 0xF9, 0x00, 0x01};
// Average time per frame, in 100-nanosecond units, as the recorders declare it.
constexpr platform::REFERENCE_TIME kAverageTimePerFrame = 80;
constexpr platform::DWORD kBitRate = 10000;

platform::DWORD ImageSize(const platform::BITMAPINFOHEADER& header, int bitsPerPixel)
{
    return static_cast<platform::DWORD>(static_cast<std::int64_t>(header.biWidth) * header.biHeight * bitsPerPixel /
                                        8);
}

}  // namespace

CVideoCodecWMV9DMO::CVideoCodecWMV9DMO() = default;

CVideoCodecWMV9DMO::~CVideoCodecWMV9DMO()
{
    EndDecompress();
}

int CVideoCodecWMV9DMO::BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader)
{
    EndDecompress();
    if (inHeader == nullptr || outHeader == nullptr)
        return 0;

    m_decoderInput = *inHeader;
    platform::BITMAPINFOHEADER& input = m_decoderInput.bmiHeader;
    input.biSize = sizeof(CodecBitmapInfo);
    input.biCompression = platform::MakeFourCC('W', 'M', 'V', '3');
    input.biBitCount = 24;
    input.biSizeImage = ImageSize(input, 24);
    std::memcpy(m_decoderInput.codecData, kWmv3CodecData, sizeof kWmv3CodecData);

    m_decoderOutput = *outHeader;
    platform::BITMAPINFOHEADER& output = m_decoderOutput.bmiHeader;
    output.biCompression = platform::MakeFourCC('Y', 'V', '1', '2');
    output.biBitCount = 12;
    output.biSize = sizeof(platform::BITMAPINFOHEADER);
    output.biSizeImage = ImageSize(output, 12);

    m_pInputBuffer = new (std::nothrow) CHandlingMediaBuffer;
    m_pOutputBuffer = new (std::nothrow) CHandlingMediaBuffer;
    if (m_pInputBuffer == nullptr || m_pOutputBuffer == nullptr)
        return 0;
    m_nWidth = input.biWidth;
    m_nHeight = input.biHeight;

    const platform::RECT picture{0, 0, m_nWidth, m_nHeight};
    constexpr std::uint32_t inputFormatSize = sizeof(platform::VIDEOINFOHEADER) + sizeof kWmv3CodecData;
    m_pInputFormat = static_cast<platform::BYTE*>(platform::CoTaskMemAlloc(inputFormatSize));
    if (m_pInputFormat == nullptr)
        return 0;
    platform::VIDEOINFOHEADER inputInfo{};
    inputInfo.rcSource = picture;
    inputInfo.rcTarget = picture;
    inputInfo.dwBitRate = kBitRate;
    inputInfo.dwBitErrorRate = 0;
    inputInfo.AvgTimePerFrame = kAverageTimePerFrame;
    std::memcpy(m_pInputFormat, &inputInfo, offsetof(platform::VIDEOINFOHEADER, bmiHeader));
    std::memcpy(m_pInputFormat + offsetof(platform::VIDEOINFOHEADER, bmiHeader), &m_decoderInput,
                sizeof(CodecBitmapInfo));

    m_mtInput.majortype = platform::MEDIATYPE_Video;
    m_mtInput.subtype = platform::MEDIASUBTYPE_WMV3;
    m_mtInput.bFixedSizeSamples = 0;
    m_mtInput.bTemporalCompression = 1;
    m_mtInput.lSampleSize = 0;
    m_mtInput.formattype = platform::FORMAT_VideoInfo;
    m_mtInput.pUnk = nullptr;
    m_mtInput.cbFormat = inputFormatSize;
    m_mtInput.pbFormat = m_pInputFormat;

    platform::CoInitialize(nullptr);
    m_bComInitialised = true;
    void* object = nullptr;
    if (platform::FAILED(platform::CoCreateInstance(platform::CLSID_CWMVDecMediaObject, nullptr,
                                                    platform::CLSCTX_INPROC_SERVER, platform::IID_IMediaObject,
                                                    &object)))
        return 0;
    m_pMediaObject = static_cast<platform::IMediaObject*>(object);
    if (platform::FAILED(m_pMediaObject->SetInputType(0, &m_mtInput, 0)))
        return 0;

    constexpr std::uint32_t outputFormatSize = sizeof(platform::VIDEOINFOHEADER);
    m_pOutputFormat = static_cast<platform::BYTE*>(platform::CoTaskMemAlloc(outputFormatSize));
    if (m_pOutputFormat == nullptr)
        return 0;
    platform::VIDEOINFOHEADER outputInfo{};
    outputInfo.rcSource = picture;
    outputInfo.rcTarget = picture;
    outputInfo.bmiHeader = output;
    std::memcpy(m_pOutputFormat, &outputInfo, outputFormatSize);

    m_mtOutput.majortype = platform::MEDIATYPE_Video;
    m_mtOutput.subtype = platform::MEDIASUBTYPE_YV12;
    m_mtOutput.bFixedSizeSamples = 0;
    m_mtOutput.bTemporalCompression = 1;
    m_mtOutput.lSampleSize = 0;
    m_mtOutput.formattype = platform::FORMAT_VideoInfo;
    m_mtOutput.pUnk = nullptr;
    m_mtOutput.cbFormat = outputFormatSize;
    m_mtOutput.pbFormat = m_pOutputFormat;
    if (platform::FAILED(m_pMediaObject->SetOutputType(0, &m_mtOutput, 0)))
        return 0;
    return 1;
}

int CVideoCodecWMV9DMO::Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength)
{
    const platform::DWORD pictureSize = m_decoderOutput.bmiHeader.biSizeImage;
    if (pictureLength != nullptr)
        *pictureLength = static_cast<int>(pictureSize);
    if (m_pMediaObject == nullptr || frame == nullptr || picture == nullptr || length <= 0)
        return 0;

    m_pInputBuffer->m_pData = const_cast<unsigned char*>(frame);
    m_pInputBuffer->m_dwLength = static_cast<platform::DWORD>(length);
    m_pInputBuffer->m_dwMaxLength = pictureSize;
    const platform::HRESULT accepted =
        m_pMediaObject->ProcessInput(0, m_pInputBuffer, platform::DMO_INPUT_DATA_BUFFERF_SYNCPOINT, 0, 0);
    if (accepted == platform::DMO_E_NOTACCEPTING)
        return 0;

    m_pOutputBuffer->m_pData = picture;
    m_pOutputBuffer->m_dwMaxLength = pictureSize;
    m_pOutputBuffer->m_dwLength = 0;
    platform::DMO_OUTPUT_DATA_BUFFER output{m_pOutputBuffer, 0, 0, 0};
    platform::DWORD status = 0;
    return m_pMediaObject->ProcessOutput(0, 1, &output, &status) == platform::S_OK ? 1 : 0;
}

int CVideoCodecWMV9DMO::EndDecompress()
{
    if (m_pMediaObject != nullptr) {
        m_pMediaObject->Release();
        m_pMediaObject = nullptr;
    }
    platform::CoTaskMemFree(m_pInputFormat);
    platform::CoTaskMemFree(m_pOutputFormat);
    m_pInputFormat = nullptr;
    m_pOutputFormat = nullptr;
    m_mtInput = platform::DMO_MEDIA_TYPE{};
    m_mtOutput = platform::DMO_MEDIA_TYPE{};
    if (m_pInputBuffer != nullptr)
        m_pInputBuffer->Release();
    if (m_pOutputBuffer != nullptr)
        m_pOutputBuffer->Release();
    m_pInputBuffer = nullptr;
    m_pOutputBuffer = nullptr;
    if (m_bComInitialised) {
        platform::CoUninitialize();
        m_bComInitialised = false;
    }
    return 1;
}
