#pragma once

#include <cstddef>
#include <cstdint>

namespace pellix {

// Converts packed 4:2:2 rows (Y0 U Y1 V) to 32-bit blue-green-red-alpha rows for a window,
// with the BT.601 limited-range equations (R = 1.164 (Y - 16) + 1.596 (V - 128), ...), each
// channel within one level of the exact value; alpha is 255. Strides are in bytes and may be
// negative, so that bottom-up pictures are turned upright on the way. The last pixel of an
// odd width takes the chroma of the pair before it.
void Yuy2ToBgra(const uint8_t* yuy2, ptrdiff_t yuy2_stride, int width, int height, uint8_t* bgra,
                ptrdiff_t bgra_stride);

}  // namespace pellix
