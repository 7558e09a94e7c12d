#include "decoder_library/VideoCodec.h"

CVideoCodec::CVideoCodec() = default;

CVideoCodec::~CVideoCodec() = default;

int CVideoCodec::Decode(const unsigned char*, unsigned char*, int, int*)
{
    return 0;
}

int CVideoCodec::EndDecompress()
{
    return 1;
}

int CVideoCodec::BeginDecompress(const CodecBitmapInfo*, const CodecBitmapInfo*)
{
    return 1;
}

int CVideoCodec::CloseDecoder()
{
    return 1;
}

int CVideoCodec::OpenDecoder(std::uint32_t)
{
    return 1;
}

const CodecBitmapInfo* CVideoCodec::GetCompressFormat()
{
    return nullptr;
}

int CVideoCodec::Compress(const unsigned char*, unsigned char*, int*, int*, int)
{
    return 0;
}

int CVideoCodec::EndCompress()
{
    return 1;
}

int CVideoCodec::BeginCompress(const CodecBitmapInfo*, const CodecBitmapInfo*)
{
    return 1;
}

int CVideoCodec::CloseEncoder()
{
    return 1;
}

int CVideoCodec::OpenEncoder()
{
    return 1;
}
