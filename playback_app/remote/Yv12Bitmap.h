#pragma once

// Snapshots of pictures the recorder's SDK decodes: planar 4:2:0 (the luma plane, then the V
// plane, then the U plane, each chroma plane a quarter of the luma size) written as a 24-bit
// bottom-up BMP file with the 54-byte header.

#include <string>

namespace lumaro {

// Writes the width x height picture at `picture` to `path` (Windows form or host path).
// Odd sizes are written whole; the last column and row reuse the chroma before them.
// False when the size is unusable or the file cannot be written.
bool WriteYv12Bitmap(const unsigned char* picture, int width, int height, const std::string& path);

}  // namespace lumaro
