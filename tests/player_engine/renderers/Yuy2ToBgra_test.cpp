// The window's colours: every Y, U, V combination against the BT.601 equations, the row
// order and odd widths the renderer hands over, and planar pictures converted in one step.

#include "player_engine/renderers/Yuy2ToBgra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace pellix {
namespace {

int Exact(double value) { return std::clamp(static_cast<int>(std::lround(value)), 0, 255); }

TEST(Yuy2ToBgraTest, EveryColourIsWithinOneLevelOfTheEquations) {
    // One row per (U, V): 256 pixels with every luma, converted in one call so that both
    // the wide and the pixel-by-pixel paths are covered.
    std::vector<uint8_t> row(256 * 2), out(256 * 4);
    int worst = 0;
    for (int u = 0; u < 256; ++u) {
        for (int v = 0; v < 256; ++v) {
            for (int y = 0; y < 256; y += 2) {
                row[2 * y] = static_cast<uint8_t>(y);
                row[2 * y + 1] = static_cast<uint8_t>(u);
                row[2 * y + 2] = static_cast<uint8_t>(y + 1);
                row[2 * y + 3] = static_cast<uint8_t>(v);
            }
            Yuy2ToBgra(row.data(), 0, 256, 1, out.data(), 0);
            for (int y = 0; y < 256; ++y) {
                const double luma = 1.164 * (y - 16);
                const int blue = Exact(luma + 2.018 * (u - 128));
                const int green = Exact(luma - 0.391 * (u - 128) - 0.813 * (v - 128));
                const int red = Exact(luma + 1.596 * (v - 128));
                const uint8_t* pixel = &out[4 * y];
                worst = std::max({worst, std::abs(pixel[0] - blue), std::abs(pixel[1] - green),
                                  std::abs(pixel[2] - red)});
                ASSERT_EQ(pixel[3], 255);
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(Yuy2ToBgraTest, BottomUpRowsComeOutUprightAndOddWidthsAreWhole) {
    // Three rows of 11 pixels, each row a grey of its own; the last pixel has only half a pair.
    constexpr int kWidth = 11, kHeight = 3;
    const int row_bytes = kWidth * 2;
    std::vector<uint8_t> picture(static_cast<size_t>(row_bytes) * kHeight);
    const uint8_t greys[kHeight] = {16, 126, 235};
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < row_bytes; ++x) picture[row * row_bytes + x] = (x % 2 == 0) ? greys[row] : 128;
    std::vector<uint8_t> out(kWidth * kHeight * 4, 7);
    Yuy2ToBgra(picture.data() + (kHeight - 1) * row_bytes, -row_bytes, kWidth, kHeight, out.data(), kWidth * 4);
    const uint8_t expected[kHeight] = {255, 128, 0};   // the bottom row (white) first
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* pixel = &out[(row * kWidth + x) * 4];
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], expected[row], 1) << row << "," << x;
            EXPECT_EQ(pixel[3], 255);
        }
    }
}

// A planar picture converted straight to BGRA must look exactly as it did when it was packed
// to YUY2 first: the same pixels, each chroma sample serving a 2 x 2 block. Widths that leave
// a tail after the wide loops (8 and 16 pixels) and rows that are not a multiple of anything.
TEST(Yuy2ToBgraTest, PlanarPicturesConvertAsTheirPackedForm) {
    for (const int width : {2, 14, 30, 352}) {
        constexpr int kHeight = 6;
        std::vector<uint8_t> i420(static_cast<size_t>(width) * kHeight * 3 / 2);
        unsigned seed = 12345u + width;
        for (uint8_t& sample : i420) {
            seed = seed * 1103515245u + 12345u;
            sample = static_cast<uint8_t>(seed >> 16);
        }
        const PlanarPicture planes = I420Planes(i420.data(), width, kHeight);
        std::vector<uint8_t> yuy2(static_cast<size_t>(width) * kHeight * 2);
        PlanarToYuy2(planes, width, kHeight, yuy2.data(), width * 2);
        for (int row = 0; row < kHeight; ++row) {
            for (int x = 0; x < width; x += 2) {
                const uint8_t* pair = &yuy2[(static_cast<size_t>(row) * width + x) * 2];
                const size_t chroma = static_cast<size_t>(row / 2) * (width / 2) + x / 2;
                ASSERT_EQ(pair[0], planes.y[row * width + x]) << width << ": " << row << "," << x;
                ASSERT_EQ(pair[1], planes.u[chroma]) << width << ": " << row << "," << x;
                ASSERT_EQ(pair[2], planes.y[row * width + x + 1]) << width << ": " << row << "," << x;
                ASSERT_EQ(pair[3], planes.v[chroma]) << width << ": " << row << "," << x;
            }
        }
        std::vector<uint8_t> packed(static_cast<size_t>(width) * kHeight * 4), direct(packed.size(), 7);
        Yuy2ToBgra(yuy2.data(), width * 2, width, kHeight, packed.data(), width * 4);
        PlanarToBgra(planes, width, kHeight, direct.data(), width * 4);
        EXPECT_EQ(direct, packed) << "width " << width;
    }
}

}  // namespace
}  // namespace pellix
