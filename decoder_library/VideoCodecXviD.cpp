#include "decoder_library/VideoCodecXviD.h"

#include "common/TraceMessage.h"
#include "common/XvidStreamHeader.h"

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
    m_avDecode.Close();
    m_useAv = false;
    return m_decode.Create(inHeader->bmiHeader.biWidth, inHeader->bmiHeader.biHeight) == 0 ? 1 : 0;
}

int CVideoCodecXviD::Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength)
{
    const platform::BITMAPINFOHEADER& input = m_decoderInput.bmiHeader;
    if (pictureLength != nullptr)
        *pictureLength = input.biWidth * input.biHeight * 3 / 2;
    if (frame == nullptr || picture == nullptr || length <= 0)
        return 0;
    // A sequence header chooses the decoder for the pictures that follow it; the frame that
    // carries it starts the chosen decoder afresh.
    XvidSequenceHeader header;
    if (ReadXvidSequenceHeader(frame, static_cast<std::size_t>(length), header)) {
        m_useAv = AvDecodesLikeXvid(header) && (m_avDecode.IsOpen() || m_avDecode.Create(input.biWidth, input.biHeight));
        m_timeIncrementBits = header.timeIncrementBits;
        // Pictures of another size than the caller's are not decoded at all, as the XviD
        // library does not: the format change that follows starts a new decoder.
        m_avFits = header.width == input.biWidth && header.height == input.biHeight;
        if (!m_useAv)
            m_avDecode.Close();
    }
    if (m_useAv)
    {
        if (!m_avFits || m_avDecode.Decode(frame, length, m_timeIncrementBits) != XvidAvDecode::Result::Picture)
            return 0;
        m_avDecode.WriteYv12(picture);
        return 1;
    }
    const int result = m_decode.Decode(frame, length, picture);
    if (result == XvidDecode::kFaulted) {
        // The library faulted part-way through the frame: the picture is not trustworthy.
        TraceMessage("VideoDecode __except\n");
        return 0;
    }
    return result == 0 ? 1 : 0;
}
