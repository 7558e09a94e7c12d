#pragma once
// WMV9 through the system's Windows Media Video decoder media object.

#include "decoder_library/HandlingMediaBuffer.h"
#include "decoder_library/VideoCodec.h"
#include "platform/codecs/MediaObject.h"

class CVideoCodecWMV9DMO : public CVideoCodec {
public:
    CVideoCodecWMV9DMO();
    ~CVideoCodecWMV9DMO() override;

    // Decodes straight into the caller's picture.
    int Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength) override;
    // Releases the media object and everything made for it.
    int EndDecompress() override;
    // Builds the media types and creates the media object; fails when the object cannot be
    // created or refuses a type.
    int BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader) override;

private:
    platform::DMO_MEDIA_TYPE m_mtOutput{};
    platform::DMO_MEDIA_TYPE m_mtInput{};
    platform::BYTE* m_pOutputFormat = nullptr;  // task-allocator memory, owned
    platform::BYTE* m_pInputFormat = nullptr;   // task-allocator memory, owned
    CHandlingMediaBuffer* m_pInputBuffer = nullptr;   // one reference held
    CHandlingMediaBuffer* m_pOutputBuffer = nullptr;  // one reference held
    platform::IMediaObject* m_pMediaObject = nullptr;  // one reference held
    int m_nHeight = 0;
    int m_nWidth = 0;
    bool m_bComInitialised = false;
};
