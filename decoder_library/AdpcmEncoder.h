#pragma once

#include <cstdint>
#include <vector>

namespace halvane {

// IMA ADPCM encoder of the suite's recording sound: mono 8 kHz in blocks of 256 bytes (a
// 4-byte header with the first sample and the step index, then 504 samples as 4-bit codes,
// low nibble first), the blocks the decoding library decodes and the AVI writer stores. The
// step index carries from block to block, so one encoder serves one stream.
class AdpcmEncoder {
public:
    static constexpr int kBlockBytes = 256;
    static constexpr int kSamplesPerBlock = 505;

    // Encodes 505 samples into one 256-byte block appended to out.
    void EncodeBlock(const int16_t* samples, std::vector<uint8_t>& out);

private:
    uint8_t EncodeSample(int sample);

    int predictor_ = 0;
    int index_ = 0;
};

}  // namespace halvane
