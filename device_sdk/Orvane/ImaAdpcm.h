#pragma once

// IMA ADPCM, mono, in the block layout of WAVE files: a 4-byte block header (the first sample
// as int16, the step index, a zero byte) followed by 4-bit codes, low nibble first. A block of
// n bytes carries 1 + 2 * (n - 4) samples. The recorder encodes its sound this way; the SDK
// decodes it.

#include <cstddef>
#include <cstdint>

namespace orvane {

// Samples carried by a block of `block_bytes` (0 for a block shorter than its header).
size_t ImaSamplesPerBlock(size_t block_bytes);

// Encoder state carried from block to block so that the step size adapts across blocks.
struct ImaEncoderState {
  int predictor = 0;
  int step_index = 0;
};

// Encodes 1 + 2 * (block_bytes - 4) samples into one block of block_bytes.
void ImaEncodeBlock(ImaEncoderState& state, const int16_t* samples, uint8_t* block,
                    size_t block_bytes);

// Decodes one block into `samples` (room for ImaSamplesPerBlock). Returns the samples
// written, 0 for a block shorter than its header or with a step index out of range.
size_t ImaDecodeBlock(const uint8_t* block, size_t block_bytes, int16_t* samples);

}  // namespace orvane
