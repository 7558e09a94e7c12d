#pragma once
// The still picture of a snapshot: the decoder's YV12 picture repacked as 4:2:2 (Y0 U Y1 V),
// turned bottom-up and converted to 24-bit blue-green-red with the limited-range BT.601
// equations. The conversion reads packed lookup tables, no multiplication per pixel.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace halvane {

// Bytes of the bitmap information header in front of the rows of a SnapshotBitmap.
inline constexpr int kBitmapInfoHeaderBytes = 40;

// Leaves the bytes of a new bitmap unset: the conversion writes every one of them, so
// clearing them first would only cost time.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    template <typename U>
    void construct(U* place) noexcept
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

// A 24-bit bitmap: the 40-byte bitmap information header followed by `height` rows of
// width x 3 bytes (blue, green, red), bottom row first, no padding between rows.
struct SnapshotBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>> bytes;

    const std::uint8_t* Pixels() const { return bytes.data() + kBitmapInfoHeaderBytes; }
    std::size_t PixelBytes() const { return bytes.size() - kBitmapInfoHeaderBytes; }
};

// Bytes of one row of the 4:2:2 picture of a picture `width` wide: width rounded up to a
// multiple of 4, times 2.
std::size_t PackedRowBytes(int width);

// Row `row` of a YV12 picture (Y plane, then V, then U, each chroma plane width/2 x
// height/2) as 4:2:2 Y0 U Y1 V groups, width x 2 bytes. Each chroma sample serves a 2 x 2
// block of pixels; an odd last column or row keeps the nearest chroma sample.
void PackYV12Row(const std::uint8_t* yv12, int width, int height, int row, std::uint8_t* packed);

// One 4:2:2 row to blue-green-red, width x 3 bytes. (width / 4) x 4 pixels are converted;
// the rest of the output row is left as it is.
void PackedRowToBgr(const std::uint8_t* packed, int width, std::uint8_t* bgr);

// The whole chain for a YV12 picture: the bytes PackYV12Row and PackedRowToBgr give for
// each row, placed bottom-up, and the bitmap header filled in. The rows are converted
// straight from the planes, two rows per chroma row, with the same table lookups. False when the picture cannot be converted (no
// picture, size not positive); throws std::bad_alloc when memory runs out.
bool MakeSnapshotBitmap(const std::uint8_t* yv12, int width, int height, SnapshotBitmap& bitmap);

}  // namespace halvane
