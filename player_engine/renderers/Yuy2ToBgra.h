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

// A planar 4:2:0 picture: a luma plane and two chroma planes of half its width and height,
// rows top-down.
struct PlanarPicture {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    ptrdiff_t y_stride = 0;
    ptrdiff_t chroma_stride = 0;
};

// The planes of a contiguous I420 picture of width x height (both even).
PlanarPicture I420Planes(const uint8_t* picture, int width, int height);

// Converts a planar 4:2:0 picture to BGRA in one step, with exactly the arithmetic of
// Yuy2ToBgra: each chroma row serves two picture rows, each chroma sample two pixels, so the
// result is the same to the bit as packing the picture to YUY2 first and converting that.
void PlanarToBgra(const PlanarPicture& picture, int width, int height, uint8_t* bgra, ptrdiff_t bgra_stride);

// Packs a planar 4:2:0 picture to YUY2 (width even), each chroma row serving two rows.
void PlanarToYuy2(const PlanarPicture& picture, int width, int height, uint8_t* yuy2, ptrdiff_t yuy2_stride);

}  // namespace pellix
