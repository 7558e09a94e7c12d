#include "decoder_library/AdpcmEncoder.h"

#include "decoder_library/ImaAdpcmTables.h"

#include <algorithm>

namespace halvane {

uint8_t AdpcmEncoder::EncodeSample(int sample)
{
    int step = ima_adpcm::kStepTable[index_];
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
    index_ = std::clamp(index_ + ima_adpcm::kIndexTable[code], 0, 88);
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
