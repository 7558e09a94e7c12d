#pragma once
// MPEG-4 (and its Microsoft variants) through a decompressor of the system's
// video-compression manager, opened by FourCC.

#include "decoder_library/VideoCodec.h"

class CVideoCodecMPEG4 : public CVideoCodec {
public:
    CVideoCodecMPEG4();
    ~CVideoCodecMPEG4() override;

    // Decodes straight into the caller's picture.
    int Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength) override;
    int EndDecompress() override;
    // The input header gives the picture size; the output header's compression names the
    // picture layout ("YV12").
    int BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader) override;
    int CloseDecoder() override;
    int OpenDecoder(std::uint32_t fourcc) override;

private:
    int m_nFrameCount = 0;      // encoding only
    int m_nMaxFrameSize = 0;    // encoding only
    int m_nMinFrameSize = 0;    // encoding only
};
