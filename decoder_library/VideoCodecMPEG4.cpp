#include "decoder_library/VideoCodecMPEG4.h"

#include "decoder_library/MutexLock.h"

namespace {

constexpr std::uint32_t kFourCCMPG4 = platform::MakeFourCC('M', 'P', 'G', '4');

}  // namespace

CVideoCodecMPEG4::CVideoCodecMPEG4()
{
    m_fccEncoder = kFourCCMPG4;
    m_fccDecoder = kFourCCMPG4;
}

CVideoCodecMPEG4::~CVideoCodecMPEG4()
{
    EndDecompress();
    CloseDecoder();
}

int CVideoCodecMPEG4::OpenDecoder(std::uint32_t fourcc)
{
    m_fccDecoder = fourcc;
    if (m_hDecoder == nullptr)
        m_hDecoder = platform::ICOpen(platform::ICTYPE_VIDEO, fourcc, platform::ICMODE_FASTDECOMPRESS);
    return m_hDecoder != nullptr ? 1 : 0;
}

int CVideoCodecMPEG4::BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader)
{
    if (m_hDecoder == nullptr || inHeader == nullptr || outHeader == nullptr)
        return 0;
    EndDecompress();
    m_decoderInput = *inHeader;
    m_decoderOutput = *inHeader;
    platform::BITMAPINFOHEADER& input = m_decoderInput.bmiHeader;
    input.biCompression = m_fccDecoder;
    input.biBitCount = 16;
    input.biSizeImage = static_cast<platform::DWORD>(static_cast<std::int64_t>(input.biWidth) * input.biHeight * 2);
    m_decoderOutput.bmiHeader.biCompression = outHeader->bmiHeader.biCompression;

    const platform::LRESULT result =
        platform::ICDecompressBegin(m_hDecoder, &m_decoderInput.bmiHeader, &m_decoderOutput.bmiHeader);
    m_bDecompressBegun = 1;
    return result == platform::ICERR_OK ? 1 : 0;
}

int CVideoCodecMPEG4::Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength)
{
    const platform::BITMAPINFOHEADER& output = m_decoderOutput.bmiHeader;
    if (pictureLength != nullptr)
        *pictureLength = output.biWidth * output.biHeight * 3 / 2;
    if (!m_bDecompressBegun || frame == nullptr || picture == nullptr || length <= 0)
        return 0;
    // The decompressor takes the frame's length from the input header; telling it the real
    // length keeps it from reading past the end of the caller's frame.
    m_decoderInput.bmiHeader.biSizeImage = static_cast<platform::DWORD>(length);
    // The decompressor writes a top-down YV12 picture, the layout callers expect, and writes
    // nothing unless the frame decoded: it can write straight into the caller's picture.
    return platform::ICDecompress(m_hDecoder, platform::ICDECOMPRESS_HURRYUP, &m_decoderInput.bmiHeader, frame,
                                  &m_decoderOutput.bmiHeader, picture) == platform::ICERR_OK
               ? 1
               : 0;
}

int CVideoCodecMPEG4::EndDecompress()
{
    int result = 1;
    if (m_bDecompressBegun) {
        result = m_hDecoder != nullptr && platform::ICDecompressEnd(m_hDecoder) == platform::ICERR_OK ? 1 : 0;
        m_bDecompressBegun = 0;
    }
    return result;
}

int CVideoCodecMPEG4::CloseDecoder()
{
    CCriticalSectionLock lock(m_csDecoder);
    if (m_hDecoder != nullptr) {
        EndDecompress();
        platform::ICClose(m_hDecoder);
        m_hDecoder = nullptr;
        m_fccDecoder = kFourCCMPG4;
    }
    return 1;
}
