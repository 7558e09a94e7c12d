#pragma once

// Snapshot files from an SDK picture (planar 4:2:0, Y then V then U).

#include <cstdint>
#include <string>

namespace orvane {

enum class PictureFileKind { None, Bmp, Jpeg };

// By the file name's extension, case ignored: ".bmp", ".jpg" / ".jpeg"; None otherwise.
PictureFileKind PictureFileKindOf(const std::string& name);

// Writes the picture to `host_path` as a 24-bit bottom-up BMP (54-byte header) or a JPEG of
// quality 90. False when the file cannot be written.
bool WritePictureFile(const std::string& host_path, PictureFileKind kind, const uint8_t* yv12,
                      int width, int height);

}  // namespace orvane
