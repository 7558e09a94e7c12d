#pragma once

#include <cstdint>
#include <vector>

namespace alder {

// IMA ADPCM encoder for mono 8 kHz sound in 256-byte blocks (4-byte header with the first
// sample and the step index, then 504 samples as 4-bit codes, low nibble first).
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

// A sine tone for a channel, continuous across calls.
class ToneGenerator {
public:
    explicit ToneGenerator(double frequencyHz) : frequencyHz_(frequencyHz) {}
    void Generate(int16_t* samples, int count);

private:
    double frequencyHz_;
    double phase_ = 0.0;
};

}  // namespace alder
