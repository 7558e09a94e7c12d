// The recorder's texts burned into YUY2 pictures: readable over light and dark pictures.

#include "player_engine/renderers/TextBurnIn.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <map>

namespace pellix {
namespace {

constexpr int kWidth = 128, kHeight = 48;

std::vector<uint8_t> Flat(uint8_t luma) {
    std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 2);
    for (size_t i = 0; i < picture.size(); i += 2) {
        picture[i] = luma;
        picture[i + 1] = 128;
    }
    return picture;
}

InfoBlock Caption(const char* text, int x, int y) {
    InfoBlock block{};
    block[12] = 1;
    block[16] = static_cast<uint8_t>(x);
    block[18] = static_cast<uint8_t>(y);
    std::strncpy(reinterpret_cast<char*>(&block[20]), text, 27);
    std::memcpy(&block[52], "15dc", 4);
    return block;
}

// Luma values found in the picture, with how often.
std::map<int, int> Lumas(const std::vector<uint8_t>& picture) {
    std::map<int, int> counts;
    for (size_t i = 0; i < picture.size(); i += 2) ++counts[picture[i]];
    return counts;
}

TEST(TextBurnInTest, CaptionIsBlackOverWhiteAndWhiteOverBlack) {
    std::vector<uint8_t> white = Flat(235);
    TextBurnIn::Apply(Caption("CAM 1", 4, 8), white.data(), kWidth, kHeight);
    std::map<int, int> lumas = Lumas(white);
    EXPECT_GT(lumas[16], 40);              // text pixels turned black
    EXPECT_GT(lumas[235], kWidth * kHeight / 2);
    EXPECT_EQ(lumas.count(255), 0u);

    std::vector<uint8_t> black = Flat(16);
    TextBurnIn::Apply(Caption("CAM 1", 4, 8), black.data(), kWidth, kHeight);
    lumas = Lumas(black);
    EXPECT_GT(lumas[255], 40);             // text pixels turned white
    EXPECT_EQ(lumas.count(0), 0u);

    // Nothing is drawn outside the text's cells, nor without the caption flag.
    for (int y = 0; y < kHeight; ++y) {
        if (y >= 8 && y < 8 + TextBurnIn::kCellHeight) continue;
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(black[(static_cast<size_t>(y) * kWidth + x) * 2], 16) << x << "," << y;
        }
    }
    std::vector<uint8_t> untouched = Flat(100);
    InfoBlock off = Caption("CAM 1", 4, 8);
    off[12] = 0;
    TextBurnIn::Apply(off, untouched.data(), kWidth, kHeight);
    EXPECT_EQ(untouched, Flat(100));
}

TEST(TextBurnInTest, TextAtTheEdgeIsClippedAndDateIsFormatted) {
    std::vector<uint8_t> picture = Flat(16);
    TextBurnIn::BurnText("WWWWWWWWWWWWWWWWWWWW", kWidth - 20, kHeight - 5, picture.data(), kWidth, kHeight);
    EXPECT_GT(Lumas(picture)[255], 0);
    TextBurnIn::BurnText("X", -1000, -1000, picture.data(), kWidth, kHeight);

    std::tm local{};
    local.tm_year = 110;
    local.tm_mon = 4;
    local.tm_mday = 5;
    local.tm_hour = 8;
    local.tm_min = 3;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    EXPECT_EQ(TextBurnIn::DateTimeText(static_cast<uint32_t>(std::mktime(&local))), "2010-5-5 08:03:09");
}

}  // namespace
}  // namespace pellix
