#pragma once

#include <cstdint>
#include <vector>

namespace pellix {

// Converts a packed 4:2:2 picture (Y0 U Y1 V, width x 2 bytes a row) to 24-bit
// blue-green-red rows with the BT.601 limited-range equations, rows kept in their order.
// A row holds (width / 4) x 4 converted pixels; the rest of a row stays black.
std::vector<uint8_t> Yuy2ToBgr24(const uint8_t* picture, int width, int height);

// Writes a picture as delivered to the display callback as a 24-bit bitmap file; with `flip`
// the rows are taken bottom row first. An empty name writes nothing and succeeds. False for
// a picture smaller than width x height x 2, non-positive sizes, or a file not written.
bool WriteYuy2AsBitmap(const uint8_t* picture, int size, int width, int height, bool flip, const char* file_name);

}  // namespace pellix
