#pragma once
// Snapshot files: a bitmap written as an uncompressed BMP or as a JPEG through the IJG
// library. A file that cannot be written completely is removed rather than left half
// written.

#include <cstdint>
#include <string_view>

#include "decoder_library/SnapshotPicture.h"

namespace halvane {

enum class SnapshotFileType { None, Bitmap, Jpeg };

// The type a snapshot path asks for: ".JPG" anywhere in it, in any case, is a JPEG; otherwise
// ".BMP" in capitals is a bitmap; anything else (also an empty path) writes nothing.
SnapshotFileType SnapshotTypeOfPath(std::string_view path);

// BMP file: 14-byte file header, the bitmap's header and rows. False when nothing was left.
bool WriteBitmapFile(std::string_view path, const SnapshotBitmap& bitmap);

// JPEG file of the given quality (0..100), top row first. False when nothing was left.
bool WriteJpegFile(std::string_view path, const SnapshotBitmap& bitmap, int quality);

// Converts a YV12 picture of width x height and writes it to `path` as its name asks.
// Reports nothing: a picture that cannot be saved is simply not saved.
void SaveSnapshot(const std::uint8_t* yv12, int width, int height, std::string_view path);

}  // namespace halvane
