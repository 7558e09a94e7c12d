#pragma once
// MPEG-4 through the XviD library, loaded at run time. Streams whose sequence header
// libavcodec's MPEG-4 decoder decodes to the same pictures go through that decoder instead,
// at a fraction of the cost; the XviD library serves the others.

#include "decoder_library/VideoCodec.h"
#include "common/XvidAvDecode.h"
#include "decoder_library/XvidDecode.h"
#include "decoder_library/XvidEncore.h"

class CVideoCodecXviD : public CVideoCodec {
public:
    CVideoCodecXviD();
    ~CVideoCodecXviD() override;

    int Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength) override;
    int EndDecompress() override;
    // Creates the XviD decoder instance for the input header's picture size.
    int BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader) override;
    int CloseDecoder() override;
    int OpenDecoder(std::uint32_t fourcc) override;  // the FourCC is not used

private:
    // Built in this order, destroyed in reverse: the decoding side goes first.
    XvidEncore m_encore;
    XvidDecode m_decode;
    XvidAvDecode m_avDecode;
    // Chosen by the stream's last sequence header; until one arrives, the XviD library.
    bool m_useAv = false;
    bool m_avFits = false;  // the stream's pictures are the size of the caller's
    int m_timeIncrementBits = 1;
};
