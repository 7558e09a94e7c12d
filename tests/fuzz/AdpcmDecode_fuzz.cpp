// IMA ADPCM sound: any bytes as recorder blocks of a size taken from the input, expanded into
// a PCM buffer of exactly the size the decoder asks for and compared, sample by sample, with a
// plain bit-by-bit decoder of the same format.
//
// Input: u16 block size selector (4..2051 bytes a block), then the sound bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decoder_library/ADPCMCodec.h"
#include "tests/fuzz/FuzzCheck.h"

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

int16_t Step(int& predictor, int& index, int code) {
  const int step = kStepTable[index];
  int difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  predictor += (code & 8) ? -difference : difference;
  predictor = std::clamp(predictor, -32768, 32767);
  index = std::clamp(index + kIndexTable[code], 0, 88);
  return static_cast<int16_t>(predictor);
}

// Samples of the blocks up to the first bad header; `bad` tells whether one was met.
std::vector<int16_t> Reference(const uint8_t* data, int length, int blockBytes, bool& bad) {
  std::vector<int16_t> samples;
  bad = false;
  while (length >= 4) {
    const int block = std::min(length, blockBytes);
    int predictor = static_cast<int16_t>(data[0] | (data[1] << 8));
    int index = data[2];
    if (index > 88) {
      bad = true;
      break;
    }
    samples.push_back(static_cast<int16_t>(predictor));
    for (int i = 4; i < block; ++i) {
      samples.push_back(Step(predictor, index, data[i] & 0x0F));
      samples.push_back(Step(predictor, index, data[i] >> 4));
    }
    data += block;
    length -= block;
  }
  return samples;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 18) return 0;
  const int blockBytes = 4 + (data[0] | (data[1] << 8)) % 2048;
  data += 2;
  size -= 2;
  const int length = static_cast<int>(size);
  const size_t blocks = (size + static_cast<size_t>(blockBytes) - 1) / static_cast<size_t>(blockBytes);
  const size_t room = std::max<size_t>(1, blocks * (1 + (static_cast<size_t>(blockBytes) - 4) * 2));
  auto pcm = std::make_unique<int16_t[]>(room);

  ADPCMCodec codec;
  const int written = codec.Decode(data, length, pcm.get(), blockBytes);
  bool bad = false;
  const std::vector<int16_t> expected = Reference(data, length, blockBytes, bad);
  if (bad || length < 4) {
    FUZZ_CHECK(written == 0);
    return 0;
  }
  FUZZ_CHECK(written == static_cast<int>(expected.size() * 2));
  FUZZ_CHECK(std::equal(expected.begin(), expected.end(), pcm.get()));
  return 0;
}
