#include "decoder_library/VideoCodecCamera.h"

int CVideoCodecCamera::Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength)
{
    const platform::BITMAPINFOHEADER& output = m_decoderOutput.bmiHeader;
    if (pictureLength != nullptr)
        *pictureLength = output.biWidth * output.biHeight * 3 / 2;
    if (!m_bDecompressBegun || frame == nullptr || picture == nullptr || length <= 0)
        return 0;
    m_decoderInput.bmiHeader.biSizeImage = static_cast<platform::DWORD>(length);
    const platform::LRESULT result = platform::ICDecompress(m_hDecoder, 0, &m_decoderInput.bmiHeader, frame,
                                                            &m_decoderOutput.bmiHeader, picture);
    if (result == platform::ICERR_OK)
        return 1;
    if (result == platform::ICERR_DONTDRAW) {
        if (pictureLength != nullptr)
            *pictureLength = 0;
        return kNoPictureYet;
    }
    return 0;
}
