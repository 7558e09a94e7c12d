// The vector ways of the snapshot colour conversion against the table walk: the same bitmap
// bytes for every (Y, U, V) combination and for pictures of every small size, odd ones and
// ones whose rows end in part of a vector block included.

#include "decoder_library/SnapshotPicture.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using halvane::ColourConversion;

std::size_t PictureBytes(int width, int height)
{
    return static_cast<std::size_t>(width) * height + 2 * static_cast<std::size_t>(width / 2) * (height / 2);
}

halvane::SnapshotBitmap Convert(const std::vector<std::uint8_t>& yv12, int width, int height, ColourConversion way)
{
    halvane::SnapshotBitmap bitmap;
    EXPECT_TRUE(halvane::MakeSnapshotBitmap(yv12.data(), width, height, bitmap, way));
    return bitmap;
}

// Index of the first differing byte of two bitmaps, or -1 when they are the same.
long FirstDifference(const halvane::SnapshotBitmap& expected, const halvane::SnapshotBitmap& actual)
{
    if (expected.bytes.size() != actual.bytes.size())
        return 0;
    for (std::size_t at = 0; at < expected.bytes.size(); ++at)
        if (expected.bytes[at] != actual.bytes[at])
            return static_cast<long>(at);
    return -1;
}

class VectorConversion : public testing::TestWithParam<ColourConversion> {
protected:
    void SetUp() override
    {
        if (!halvane::ColourConversionAvailable(GetParam()))
            GTEST_SKIP() << "this processor lacks the instructions";
    }
};

TEST_P(VectorConversion, EveryLumaAndChromaCombinationGivesTheTableBytes)
{
    // One 512 x 128 picture per U value: V runs along the 256 chroma columns, and the four
    // pixels a chroma sample serves in chroma row r carry Y = 4r .. 4r + 3, so each picture
    // holds every (Y, V) pair once and the 256 pictures every (Y, U, V) combination.
    constexpr int kWidth = 512;
    constexpr int kHeight = 128;
    std::vector<std::uint8_t> yv12(PictureBytes(kWidth, kHeight));
    std::uint8_t* luma = yv12.data();
    std::uint8_t* planeV = luma + kWidth * kHeight;
    std::uint8_t* planeU = planeV + (kWidth / 2) * (kHeight / 2);
    for (int row = 0; row < kHeight; ++row)
        for (int column = 0; column < kWidth; ++column)
            luma[row * kWidth + column] = static_cast<std::uint8_t>(4 * (row / 2) + 2 * (row % 2) + column % 2);
    for (int chroma = 0; chroma < (kWidth / 2) * (kHeight / 2); ++chroma)
        planeV[chroma] = static_cast<std::uint8_t>(chroma % 256);
    long differing = 0;
    for (int u = 0; u < 256; ++u) {
        std::fill(planeU, planeU + (kWidth / 2) * (kHeight / 2), static_cast<std::uint8_t>(u));
        const auto expected = Convert(yv12, kWidth, kHeight, ColourConversion::Tables);
        const auto actual = Convert(yv12, kWidth, kHeight, GetParam());
        const long at = FirstDifference(expected, actual);
        if (at >= 0 && differing++ < 5)
            ADD_FAILURE() << "U " << u << ": first difference at byte " << at;
    }
    EXPECT_EQ(differing, 0);
}

TEST_P(VectorConversion, NoisePicturesOfAnySizeGiveTheTableBytes)
{
    // Every width up to three AVX2 blocks and a bit (whole blocks, part blocks, widths below
    // one group, odd widths whose last column has no chroma column of its own) with odd and
    // even heights, plus D1-sized pictures one pixel off in either direction. Half the samples
    // come from the values where the clamps and roundings turn.
    std::vector<std::pair<int, int>> sizes;
    for (int width = 1; width <= 100; ++width)
        for (int height = 1; height <= 5; ++height)
            sizes.emplace_back(width, height);
    for (const auto& size : {std::pair{704, 576}, {703, 575}, {705, 577}, {706, 3}, {719, 2}, {724, 1}, {4, 577}})
        sizes.push_back(size);
    const std::uint8_t edges[] = {0, 1, 15, 16, 17, 127, 128, 129, 140, 141, 142, 234, 235, 236, 239, 240, 241, 254, 255};
    std::uint32_t noise = 2024;
    auto next = [&noise] {
        noise = noise * 1664525 + 1013904223;
        return noise >> 8;
    };
    for (const auto& [width, height] : sizes) {
        // Exactly the picture's bytes: a conversion reading past them reads past the buffer.
        std::vector<std::uint8_t> yv12(PictureBytes(width, height));
        for (auto& sample : yv12) {
            const std::uint32_t draw = next();
            sample = draw & 1 ? static_cast<std::uint8_t>(draw >> 1) : edges[(draw >> 1) % std::size(edges)];
        }
        const auto expected = Convert(yv12, width, height, ColourConversion::Tables);
        const auto actual = Convert(yv12, width, height, GetParam());
        EXPECT_EQ(FirstDifference(expected, actual), -1) << width << " x " << height;
        EXPECT_EQ(FirstDifference(expected, Convert(yv12, width, height, ColourConversion::Automatic)), -1)
            << "automatic, " << width << " x " << height;
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, VectorConversion, testing::Values(ColourConversion::Sse41, ColourConversion::Avx2),
                         [](const testing::TestParamInfo<ColourConversion>& info) {
                             return std::string(info.param == ColourConversion::Sse41 ? "Sse41" : "Avx2");
                         });

}  // namespace
