#include "decoder_library/AdpcmEncoder.h"

#include <algorithm>

namespace halvane {

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

}  // namespace

uint8_t AdpcmEncoder::EncodeSample(int sample)
{
    int step = kStepTable[index_];
    int difference = sample - predictor_;
    uint8_t code = 0;
    if (difference < 0) {
        code = 8;
        difference = -difference;
    }
    int delta = step >> 3;
    if (difference >= step) {
        code |= 4;
        difference -= step;
        delta += step;
    }
    if (difference >= step >> 1) {
        code |= 2;
        difference -= step >> 1;
        delta += step >> 1;
    }
    if (difference >= step >> 2) {
        code |= 1;
        delta += step >> 2;
    }
    // Track the decoder's reconstruction, not the input, so that errors do not add up.
    predictor_ = std::clamp(predictor_ + ((code & 8) ? -delta : delta), -32768, 32767);
    index_ = std::clamp(index_ + kIndexTable[code], 0, 88);
    return code;
}

void AdpcmEncoder::EncodeBlock(const int16_t* samples, std::vector<uint8_t>& out)
{
    predictor_ = samples[0];
    out.push_back(static_cast<uint8_t>(samples[0] & 0xFF));
    out.push_back(static_cast<uint8_t>((samples[0] >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(index_));
    out.push_back(0);
    for (int i = 1; i < kSamplesPerBlock; i += 2) {
        uint8_t low = EncodeSample(samples[i]);
        uint8_t high = EncodeSample(samples[i + 1]);
        out.push_back(static_cast<uint8_t>(low | (high << 4)));
    }
}

}  // namespace halvane
