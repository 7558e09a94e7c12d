#pragma once
// The video codec family: one object per decoder entry turns the recorder's compressed
// frames into YV12 pictures (Y plane, then V, then U; width x height x 3 / 2 bytes).
// Decoding entry points are called only with the library's decode lock held, so no two
// operations on codec objects overlap.

#include <cstdint>

#include "platform/Sync.h"
#include "platform/codecs/Vfw.h"

// A 44-byte bitmap-information record: the 40-byte header and 4 bytes of codec data.
struct CodecBitmapInfo {
    platform::BITMAPINFOHEADER bmiHeader;
    std::uint8_t codecData[4];
};
static_assert(sizeof(CodecBitmapInfo) == 44);

class CVideoCodec {
public:
    CVideoCodec(const CVideoCodec&) = delete;
    CVideoCodec& operator=(const CVideoCodec&) = delete;

    // All return non-zero for success unless said otherwise.
    // Decodes frame (length bytes) into picture; pictureLength (may be null) receives the
    // picture's size in bytes.
    virtual int Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength);
    virtual int EndDecompress();
    virtual int BeginDecompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader);
    virtual int CloseDecoder();
    virtual int OpenDecoder(std::uint32_t fourcc);
    // Encoding: nothing in the system encodes, so these keep the base behaviour.
    virtual const CodecBitmapInfo* GetCompressFormat();  // null
    virtual int Compress(const unsigned char* picture, unsigned char* frame, int* frameLength, int* keyFrame,
                         int quality);
    virtual int EndCompress();
    virtual int BeginCompress(const CodecBitmapInfo* inHeader, const CodecBitmapInfo* outHeader);
    virtual int CloseEncoder();
    virtual int OpenEncoder();
    virtual ~CVideoCodec();

protected:
    CVideoCodec();

    int m_bDecompressBegun = 0;
    int m_bCompressBegun = 0;
    platform::CriticalSection m_csDecoder;  // taken around closing the system codec
    platform::CriticalSection m_csEncoder;
    std::uint32_t m_fccEncoder = 0;
    std::uint32_t m_fccDecoder = 0;
    platform::HIC m_hDecoder = nullptr;
    platform::HIC m_hEncoder = nullptr;
    int m_encoderParameters[9] = {};
    CodecBitmapInfo m_encoderInput{};
    CodecBitmapInfo m_encoderOutput{};
    CodecBitmapInfo m_decoderInput{};
    CodecBitmapInfo m_decoderOutput{};
};
