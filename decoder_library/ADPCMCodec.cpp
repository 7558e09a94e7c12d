#include "decoder_library/ADPCMCodec.h"

#include <algorithm>
#include <array>

namespace {

// The published IMA ADPCM tables.
constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kMaxStepIndex = 88;

// For every step index and code: the signed difference the code adds to the predictor and
// the step index that follows. Derived once from the two tables above, so a sample costs two
// reads instead of the bit tests.
struct Expansion {
    std::int32_t difference;
    std::int32_t nextIndex;
};
using ExpansionTable = std::array<std::array<Expansion, 16>, kMaxStepIndex + 1>;

constexpr ExpansionTable MakeExpansionTable()
{
    ExpansionTable table{};
    for (int index = 0; index <= kMaxStepIndex; ++index) {
        const int step = kStepTable[index];
        for (int code = 0; code < 16; ++code) {
            int difference = step >> 3;
            if (code & 4)
                difference += step;
            if (code & 2)
                difference += step >> 1;
            if (code & 1)
                difference += step >> 2;
            if (code & 8)
                difference = -difference;
            table[index][code] = {difference, std::clamp(index + kIndexTable[code], 0, kMaxStepIndex)};
        }
    }
    return table;
}

constexpr ExpansionTable kExpansion = MakeExpansionTable();

inline int Expand(int& predictor, int& index, int code)
{
    const Expansion& expansion = kExpansion[index][code];
    predictor = std::clamp(predictor + expansion.difference, -32768, 32767);
    index = expansion.nextIndex;
    return predictor;
}

}  // namespace

int ADPCMCodec::Decode(const unsigned char* data, int length, std::int16_t* pcm, int blockBytes) const
{
    constexpr int kHeaderBytes = 4;
    if (data == nullptr || pcm == nullptr || length < kHeaderBytes || blockBytes < kHeaderBytes)
        return 0;
    std::int16_t* out = pcm;
    int remaining = length;
    while (remaining >= kHeaderBytes) {
        const int block = std::min(remaining, blockBytes);
        int predictor = static_cast<std::int16_t>(data[0] | (data[1] << 8));
        int index = data[2];
        if (index > kMaxStepIndex)
            return 0;
        *out++ = static_cast<std::int16_t>(predictor);
        for (int i = kHeaderBytes; i < block; ++i) {
            const int codes = data[i];
            *out++ = static_cast<std::int16_t>(Expand(predictor, index, codes & 0x0F));
            *out++ = static_cast<std::int16_t>(Expand(predictor, index, codes >> 4));
        }
        data += block;
        remaining -= block;
    }
    return static_cast<int>(out - pcm) * 2;
}
