#pragma once
// IMA ADPCM sound of the recorders (mono, 4 bits a sample, blocks of 256 bytes) expanded into
// 16-bit PCM. Every block carries its own first sample and step index, so decoding keeps no
// state between calls and one object may serve any number of calls in turn.

#include <cstdint>

class ADPCMCodec {
public:
    // Bytes of one recorder block and the PCM one full block expands to (505 samples).
    static constexpr int kBlockBytes = 256;
    static constexpr int kBlockPcmBytes = 1010;

    ADPCMCodec() = default;
    virtual ~ADPCMCodec() = default;
    ADPCMCodec(const ADPCMCodec&) = delete;
    ADPCMCodec& operator=(const ADPCMCodec&) = delete;

    // Expands `length` bytes of blocks of `blockBytes` bytes (the last may be shorter) into
    // `pcm`, which must hold 1 + (blockBytes - 4) * 2 samples per block. A trailing piece of
    // fewer than 4 bytes is ignored. Returns the PCM bytes written; 0 when fewer than 4 bytes
    // were given or a block header names a step index outside 0..88 (the blocks before it
    // stay written).
    int Decode(const unsigned char* data, int length, std::int16_t* pcm, int blockBytes) const;
};
