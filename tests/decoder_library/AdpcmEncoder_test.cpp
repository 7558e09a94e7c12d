// The suite's one IMA ADPCM encoder against the decoding library's decoder: what the camera
// link and the simulators encode must come back as the sound that went in.
#include "decoder_library/ADPCMCodec.h"
#include "decoder_library/AdpcmEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Signal-to-noise ratio of `decoded` against `original`, in decibels.
double SnrDb(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded)
{
    double signal = 0.0, noise = 0.0;
    for (size_t i = 0; i < original.size(); ++i) {
        signal += double(original[i]) * original[i];
        const double error = double(original[i]) - decoded[i];
        noise += error * error;
    }
    return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

TEST(AdpcmEncoder, BlocksDecodeBackToTheSoundAcrossLoudQuietAndClippedStretches)
{
    constexpr int kBlocks = 16;  // about a second at 8 kHz
    std::vector<int16_t> pcm(kBlocks * halvane::AdpcmEncoder::kSamplesPerBlock);
    for (size_t i = 0; i < pcm.size(); ++i) {
        // A tone that swells from quiet to full scale and is clipped at the top, so the step
        // index must climb and fall across block boundaries.
        const double level = i < pcm.size() / 2 ? 200.0 + 30.0 * i / 8.0 : 40000.0;
        const double value = level * std::sin(2.0 * M_PI * 440.0 * i / 8000.0);
        pcm[i] = static_cast<int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    halvane::AdpcmEncoder encoder;
    std::vector<uint8_t> blocks;
    for (int b = 0; b < kBlocks; ++b)
        encoder.EncodeBlock(pcm.data() + b * halvane::AdpcmEncoder::kSamplesPerBlock, blocks);
    ASSERT_EQ(blocks.size(), size_t(kBlocks) * halvane::AdpcmEncoder::kBlockBytes);
    for (int b = 0; b < kBlocks; ++b) {
        const uint8_t* header = blocks.data() + b * halvane::AdpcmEncoder::kBlockBytes;
        EXPECT_LE(header[2], 88) << "step index of block " << b;
        EXPECT_EQ(header[3], 0) << "reserved byte of block " << b;
        // Each block starts exactly at its first sample.
        EXPECT_EQ(int16_t(header[0] | (header[1] << 8)), pcm[b * halvane::AdpcmEncoder::kSamplesPerBlock]);
    }

    ADPCMCodec decoder;
    std::vector<int16_t> decoded(pcm.size());
    const int bytes = decoder.Decode(blocks.data(), static_cast<int>(blocks.size()), decoded.data(),
                                     halvane::AdpcmEncoder::kBlockBytes);
    ASSERT_EQ(bytes, static_cast<int>(pcm.size() * 2));
    EXPECT_GT(SnrDb(pcm, decoded), 20.0);
    const std::vector<int16_t> quiet(pcm.begin() + 2020, pcm.begin() + 4040);
    const std::vector<int16_t> quietBack(decoded.begin() + 2020, decoded.begin() + 4040);
    EXPECT_GT(SnrDb(quiet, quietBack), 15.0) << "quiet sound keeps its shape";
}

}  // namespace
