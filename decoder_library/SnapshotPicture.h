#pragma once
// The still picture of a snapshot: the decoder's YV12 picture repacked as 4:2:2 (Y0 U Y1 V),
// turned bottom-up and converted to 24-bit blue-green-red with the limited-range BT.601
// equations. The conversion reads packed lookup tables, no multiplication per pixel; where the
// processor has vector instructions the same table values are computed exactly in vector
// lanes instead.

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

// How the rows are turned into colour. Every way gives the same bytes for every picture: the
// table walk is the reference and the fallback, the vector ways compute exactly the table sums.
enum class ColourConversion {
    Automatic,  // the fastest way the processor has
    Tables,
    Sse41,
    Avx2,
};

// True when this processor can run `way` (Automatic and Tables always).
bool ColourConversionAvailable(ColourConversion way);

// The whole chain for a YV12 picture: each row as the 4:2:2 picture (Y0 U Y1 V groups, each
// chroma sample serving a 2 x 2 block, an odd last column or row keeping the nearest chroma
// sample) turned to blue-green-red by the tables, (width / 4) x 4 pixels a row, rows placed
// bottom-up, and the bitmap header filled in. The rows are converted straight from the
// planes, two rows per chroma row, without building the 4:2:2 rows in memory. A way the
// processor cannot run falls back to the tables. False when the picture cannot be converted (no
// picture, size not positive); throws std::bad_alloc when memory runs out.
bool MakeSnapshotBitmap(const std::uint8_t* yv12, int width, int height, SnapshotBitmap& bitmap,
                        ColourConversion way = ColourConversion::Automatic);

}  // namespace halvane
