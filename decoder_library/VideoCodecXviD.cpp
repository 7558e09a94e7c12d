#include "decoder_library/VideoCodecXviD.h"

#include "common/TraceMessage.h"

CVideoCodecXviD::CVideoCodecXviD()
{
    m_fccEncoder = platform::MakeFourCC('X', 'V', 'I', 'D');
}

CVideoCodecXviD::~CVideoCodecXviD() = default;

int CVideoCodecXviD::OpenDecoder(std::uint32_t)
{
    return 1;
}

int CVideoCodecXviD::CloseDecoder()
{
    return 1;
}

int CVideoCodecXviD::EndDecompress()
{
    return 1;
}

int CVideoCodecXviD::BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader)
{
    if (inHeader == nullptr || outHeader == nullptr)
        return 0;
    m_decoderInput = *inHeader;
    m_decoderOutput = *outHeader;
    // A library that could not be bound is never called: the begin fails instead.
    if (!m_decode.IsBound())
        return 0;
    return m_decode.Create(inHeader->bmiHeader.biWidth, inHeader->bmiHeader.biHeight) == 0 ? 1 : 0;
}

int CVideoCodecXviD::Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength)
{
    const platform::BITMAPINFOHEADER& input = m_decoderInput.bmiHeader;
    if (pictureLength != nullptr)
        *pictureLength = input.biWidth * input.biHeight * 3 / 2;
    if (frame == nullptr || picture == nullptr || length <= 0)
        return 0;
    const int result = m_decode.Decode(frame, length, picture);
    if (result == XvidDecode::kFaulted) {
        // The library faulted part-way through the frame: the picture is not trustworthy.
        TraceMessage("VideoDecode __except\n");
        return 0;
    }
    return result == 0 ? 1 : 0;
}
