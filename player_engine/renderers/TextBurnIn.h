#pragma once

#include <cstdint>
#include <string>

#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

// Burns the recorder's date, time and caption of a picture information block into a YUY2
// picture, so that the text stays readable on any background: where the text lies, a dark
// pixel (luma at most 160) turns white and a light one black.
//
// The text is drawn with a built-in 5 x 7 pixel font, doubled, one glyph per byte; bytes
// outside printable ASCII leave a blank cell.
class TextBurnIn {
public:
    static constexpr int kScale = 2;
    static constexpr int kCellWidth = 6 * kScale;
    static constexpr int kCellHeight = 8 * kScale;

    // The block's date and time as the recorder shows it: "2010-5-25 08:30:00".
    static std::string DateTimeText(uint32_t seconds);

    // Applies every text of the block to the picture (width x height x 2 bytes, top row first).
    static void Apply(const InfoBlock& block, uint8_t* picture, int width, int height);
    // Burns one line of text with its top left corner at (x, y); the part outside is clipped.
    static void BurnText(const std::string& text, int x, int y, uint8_t* picture, int width, int height);
};

}  // namespace pellix
