#pragma once
// The snapshot colour conversion of a row pair with vector instructions, for processors that
// have them. Each share of a colour is the rounded product the lookup tables hold, computed
// exactly in 16-bit lanes (the whole number part of the factor plus a rounding high multiply by
// its fraction in 1/32768); the lanes are added and saturated to bytes, which is what the clamp
// table does. The bytes are the tables' bytes for every input.
//
// Both functions convert whole blocks of groups from the start of the rows (a group is four
// pixels, Y0 U Y1 V as in the 4:2:2 picture) and return how many groups they converted; the
// caller converts the rest with the tables. They read only the bytes the tables would read:
// 4 x groups luma bytes a row and 2 x groups chroma bytes of each plane. `lumaBelow` and
// `bgrBelow` are null for a lone last row. Call each only when the processor has the
// instructions (ColourConversionAvailable).

#include <cstdint>

namespace halvane {

// Blocks of 4 groups (16 pixels) with SSE4.1.
int ConvertRowPairSse41(const std::uint8_t* luma, const std::uint8_t* lumaBelow, const std::uint8_t* u,
                        const std::uint8_t* v, int groups, std::uint8_t* bgr, std::uint8_t* bgrBelow);

// Blocks of 8 groups (32 pixels) with AVX2.
int ConvertRowPairAvx2(const std::uint8_t* luma, const std::uint8_t* lumaBelow, const std::uint8_t* u,
                       const std::uint8_t* v, int groups, std::uint8_t* bgr, std::uint8_t* bgrBelow);

}  // namespace halvane
