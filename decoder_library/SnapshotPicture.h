#pragma once
// The still picture of a snapshot: the decoder's YV12 picture repacked as 4:2:2 (Y0 U Y1 V),
// turned bottom-up and converted to 24-bit blue-green-red with the limited-range BT.601
// equations. The conversion reads packed lookup tables, no multiplication per pixel.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvane {

// Bytes of the bitmap information header in front of the rows of a SnapshotBitmap.
inline constexpr int kBitmapInfoHeaderBytes = 40;

// A 24-bit bitmap: the 40-byte bitmap information header followed by `height` rows of
// width x 3 bytes (blue, green, red), bottom row first, no padding between rows.
struct SnapshotBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    const std::uint8_t* Pixels() const { return bytes.data() + kBitmapInfoHeaderBytes; }
    std::size_t PixelBytes() const { return bytes.size() - kBitmapInfoHeaderBytes; }
};

// Bytes of the 4:2:2 picture of a width x height picture: width rounded up to a multiple of
// 4, times height, times 2. Rows inside it are width x 2 bytes apart.
std::size_t PackedPictureBytes(int width, int height);

// YV12 (Y plane, then V, then U, each chroma plane width/2 x height/2) to 4:2:2, rows of
// width x 2 bytes. Each chroma sample serves a 2 x 2 block of pixels; an odd last column or
// row keeps the nearest chroma sample. False (nothing written) for null buffers or a
// picture whose size is not positive.
bool YV12ToPacked(const std::uint8_t* yv12, std::uint8_t* packed, int width, int height);

// Copies `height` rows of `rowBytes` bytes from `from` to `to` in reverse order.
void ReverseRows(const std::uint8_t* from, std::uint8_t* to, std::size_t rowBytes, int height);

// 4:2:2 rows of width x 2 bytes to blue-green-red rows of width x 3 bytes. (width / 4) x 4
// pixels of each row are converted; the rest of an output row is left as it is.
void PackedToBgr(const std::uint8_t* packed, std::uint8_t* bgr, int width, int height);

// The whole chain for a YV12 picture: the bitmap with its header filled in. False when the
// picture cannot be converted (no picture, size not positive); throws std::bad_alloc when
// memory runs out.
bool MakeSnapshotBitmap(const std::uint8_t* yv12, int width, int height, SnapshotBitmap& bitmap);

}  // namespace halvane
