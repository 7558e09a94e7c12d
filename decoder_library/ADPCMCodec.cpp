#include "decoder_library/ADPCMCodec.h"

#include "decoder_library/ImaAdpcmTables.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxStepIndex = 88;

// The signed difference every code adds to the predictor at every step index, derived once
// from the step table with the published sum (step/8, plus step, step/2 and step/4 for code
// bits 2, 1 and 0; bit 3 negates). A sample then costs one read off the step-index chain.
using DifferenceTable = std::array<std::array<std::int32_t, 16>, kMaxStepIndex + 1>;

constexpr DifferenceTable MakeDifferenceTable()
{
    DifferenceTable table{};
    for (int index = 0; index <= kMaxStepIndex; ++index) {
        const int step = ima_adpcm::kStepTable[index];
        for (int code = 0; code < 16; ++code) {
            int difference = step >> 3;
            if (code & 4)
                difference += step;
            if (code & 2)
                difference += step >> 1;
            if (code & 1)
                difference += step >> 2;
            table[index][code] = (code & 8) ? -difference : difference;
        }
    }
    return table;
}

constexpr DifferenceTable kDifference = MakeDifferenceTable();

constexpr int ClampStepIndex(int index)
{
    return index < 0 ? 0 : (index > kMaxStepIndex ? kMaxStepIndex : index);
}

// The step index after both codes of a byte, for every step index and byte. Following the
// index a byte at a time keeps the chain from one sample to the next short; the index between
// the two codes is worked out beside it.
using NextIndexTable = std::array<std::array<std::uint8_t, 256>, kMaxStepIndex + 1>;

constexpr NextIndexTable MakeNextIndexTable()
{
    NextIndexTable table{};
    for (int index = 0; index <= kMaxStepIndex; ++index)
        for (int codes = 0; codes < 256; ++codes)
            table[index][codes] = static_cast<std::uint8_t>(
                ClampStepIndex(ClampStepIndex(index + ima_adpcm::kIndexTable[codes & 0x0F]) + ima_adpcm::kIndexTable[codes >> 4]));
    return table;
}

constexpr NextIndexTable kNextIndex = MakeNextIndexTable();

// Adds a difference to the predictor, held to the 16-bit range.
inline std::int16_t Predict(int& predictor, int difference)
{
    predictor = std::clamp(predictor + difference, -32768, 32767);
    return static_cast<std::int16_t>(predictor);
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
        // Low code first; the high code steps from the index the low one left.
        for (int i = kHeaderBytes; i < block; ++i) {
            const int codes = data[i];
            const int low = codes & 0x0F;
            const int high = codes >> 4;
            const int middle = ClampStepIndex(index + ima_adpcm::kIndexTable[low]);
            out[0] = Predict(predictor, kDifference[index][low]);
            out[1] = Predict(predictor, kDifference[middle][high]);
            out += 2;
            index = kNextIndex[index][codes];
        }
        data += block;
        remaining -= block;
    }
    return static_cast<int>(out - pcm) * 2;
}
