#pragma once
// LumaDeblock's edges sixteen lines at a time, built for AVX2; used only where the processor
// has it. Internal to LumaDeblock.

#include <cstdint>

namespace suite::luma_deblock_wide {

// Whether this processor runs the functions below.
bool Available();

// The horizontal edge whose first row below is `edge`, across `width` samples (a multiple of
// 16); quants: the quantisers of the macroblocks below the edge.
void HorizontalEdge(uint8_t* edge, int stride, int width, const int* quants);

// The vertical edges of the sixteen rows from `rows` (one macroblock row), `width` samples
// wide (a multiple of 16); quants: that macroblock row's quantisers. `strip` holds 16 x width
// samples.
void VerticalEdges(uint8_t* rows, int stride, int width, const int* quants, int16_t* strip);

}  // namespace suite::luma_deblock_wide
