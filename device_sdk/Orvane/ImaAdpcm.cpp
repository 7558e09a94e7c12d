#include "device_sdk/Orvane/ImaAdpcm.h"

#include <algorithm>

namespace orvane {
namespace {

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Applies one 4-bit code to the predictor and step index.
int Expand(int code, int& predictor, int& step_index) {
  int step = kStepTable[step_index];
  int diff = step >> 3;
  if (code & 4) diff += step;
  if (code & 2) diff += step >> 1;
  if (code & 1) diff += step >> 2;
  predictor += (code & 8) ? -diff : diff;
  predictor = std::clamp(predictor, -32768, 32767);
  step_index = std::clamp(step_index + kIndexTable[code], 0, 88);
  return predictor;
}

int Quantise(int sample, int& predictor, int& step_index) {
  int step = kStepTable[step_index];
  int diff = sample - predictor;
  int code = 0;
  if (diff < 0) {
    code = 8;
    diff = -diff;
  }
  if (diff >= step) {
    code |= 4;
    diff -= step;
  }
  if (diff >= step >> 1) {
    code |= 2;
    diff -= step >> 1;
  }
  if (diff >= step >> 2) code |= 1;
  Expand(code, predictor, step_index);
  return code;
}

}  // namespace

size_t ImaSamplesPerBlock(size_t block_bytes) {
  return block_bytes < 4 ? 0 : 1 + 2 * (block_bytes - 4);
}

void ImaEncodeBlock(ImaEncoderState& state, const int16_t* samples, uint8_t* block,
                    size_t block_bytes) {
  state.predictor = samples[0];
  block[0] = uint8_t(state.predictor & 0xFF);
  block[1] = uint8_t((state.predictor >> 8) & 0xFF);
  block[2] = uint8_t(state.step_index);
  block[3] = 0;
  const int16_t* in = samples + 1;
  for (size_t i = 4; i < block_bytes; ++i) {
    int low = Quantise(*in++, state.predictor, state.step_index);
    int high = Quantise(*in++, state.predictor, state.step_index);
    block[i] = uint8_t(low | (high << 4));
  }
}

size_t ImaDecodeBlock(const uint8_t* block, size_t block_bytes, int16_t* samples) {
  if (block_bytes < 4 || block[2] > 88) return 0;
  int predictor = int16_t(block[0] | (block[1] << 8));
  int step_index = block[2];
  size_t n = 0;
  samples[n++] = int16_t(predictor);
  for (size_t i = 4; i < block_bytes; ++i) {
    samples[n++] = int16_t(Expand(block[i] & 0x0F, predictor, step_index));
    samples[n++] = int16_t(Expand(block[i] >> 4, predictor, step_index));
  }
  return n;
}

}  // namespace orvane
