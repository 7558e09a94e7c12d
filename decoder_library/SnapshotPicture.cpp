#include "decoder_library/SnapshotPicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "decoder_library/SnapshotVectorRows.h"

namespace halvane {

namespace {

// Each table word holds one input's share of blue (bits 0-9), green (10-19) and red (20-29),
// each share raised by a bias so that it is never negative and the three shares of a colour
// add up to at most 1023: no field borrows from or carries into its neighbour. The biases of
// a colour always add up to kColorBias, which the clamp table takes off again.
constexpr int kColorBias = 300;
constexpr int kLumaBias = 20;
constexpr int kChromaBias = 280;        // blue from U, red from V
constexpr int kChromaGreenBias = 140;   // green from U and from V

struct ColorTables {
    std::array<std::uint32_t, 256> luma;
    std::array<std::uint32_t, 256> blueDifference;  // U
    std::array<std::uint32_t, 256> redDifference;   // V
    std::array<std::uint8_t, 1024> clamp;
};

constexpr std::uint32_t Pack(int blue, int green, int red)
{
    return static_cast<std::uint32_t>(blue) | static_cast<std::uint32_t>(green) << 10 |
           static_cast<std::uint32_t>(red) << 20;
}

ColorTables MakeColorTables()
{
    ColorTables tables{};
    for (int value = 0; value < 256; ++value) {
        const int luma = static_cast<int>(std::lround(1.164 * (value - 16))) + kLumaBias;
        tables.luma[value] = Pack(luma, luma, luma);
        const int chroma = value - 128;
        tables.blueDifference[value] = Pack(static_cast<int>(std::lround(2.018 * chroma)) + kChromaBias,
                                            static_cast<int>(std::lround(-0.391 * chroma)) + kChromaGreenBias, 0);
        tables.redDifference[value] = Pack(0, static_cast<int>(std::lround(-0.813 * chroma)) + kChromaGreenBias,
                                           static_cast<int>(std::lround(1.596 * chroma)) + kChromaBias);
    }
    for (int sum = 0; sum < 1024; ++sum)
        tables.clamp[sum] = static_cast<std::uint8_t>(std::clamp(sum - kColorBias, 0, 255));
    return tables;
}

const ColorTables& Tables()
{
    static const ColorTables tables = MakeColorTables();
    return tables;
}

inline void StorePixel(std::uint8_t* bgr, std::uint32_t word, const std::uint8_t* clamp)
{
    bgr[0] = clamp[word & 0x3FF];
    bgr[1] = clamp[(word >> 10) & 0x3FF];
    bgr[2] = clamp[word >> 20];
}

// Four converted pixels, 12 bytes. Single byte stores: assembling words from the clamped
// bytes costs more shifts than the stores it saves.
inline void StoreFourPixels(std::uint8_t* __restrict bgr, std::uint32_t p0, std::uint32_t p1, std::uint32_t p2,
                            std::uint32_t p3, const std::uint8_t* __restrict clamp)
{
    StorePixel(bgr, p0, clamp);
    StorePixel(bgr + 3, p1, clamp);
    StorePixel(bgr + 6, p2, clamp);
    StorePixel(bgr + 9, p3, clamp);
}

// One or two picture rows that share a chroma row, straight from the planes: the same table
// sums the 4:2:2 step would produce (Y0 and Y1 of a group with its U and V), without the
// packed row in between. Each chroma sum is looked up once for the 2 x 2 pixels it serves.
// `groups` groups of four pixels per row; `lumaBelow`/`bgrBelow` are null for a lone row.
void ConvertRowPair(const std::uint8_t* __restrict luma, const std::uint8_t* __restrict lumaBelow,
                    const std::uint8_t* __restrict u, const std::uint8_t* __restrict v, int groups,
                    std::uint8_t* __restrict bgr, std::uint8_t* __restrict bgrBelow)
{
    const ColorTables& tables = Tables();
    const std::uint32_t* __restrict lumaTable = tables.luma.data();
    const std::uint32_t* __restrict blueDifference = tables.blueDifference.data();
    const std::uint32_t* __restrict redDifference = tables.redDifference.data();
    const std::uint8_t* __restrict clamp = tables.clamp.data();
    if (lumaBelow != nullptr) {
        for (int group = 0; group < groups; ++group) {
            const std::uint32_t left = blueDifference[u[0]] + redDifference[v[0]];
            const std::uint32_t right = blueDifference[u[1]] + redDifference[v[1]];
            StoreFourPixels(bgr, lumaTable[luma[0]] + left, lumaTable[luma[1]] + left, lumaTable[luma[2]] + right,
                            lumaTable[luma[3]] + right, clamp);
            StoreFourPixels(bgrBelow, lumaTable[lumaBelow[0]] + left, lumaTable[lumaBelow[1]] + left,
                            lumaTable[lumaBelow[2]] + right, lumaTable[lumaBelow[3]] + right, clamp);
            u += 2;
            v += 2;
            luma += 4;
            lumaBelow += 4;
            bgr += 12;
            bgrBelow += 12;
        }
        return;
    }
    for (int group = 0; group < groups; ++group) {
        const std::uint32_t left = blueDifference[u[0]] + redDifference[v[0]];
        const std::uint32_t right = blueDifference[u[1]] + redDifference[v[1]];
        StoreFourPixels(bgr, lumaTable[luma[0]] + left, lumaTable[luma[1]] + left, lumaTable[luma[2]] + right,
                        lumaTable[luma[3]] + right, clamp);
        u += 2;
        v += 2;
        luma += 4;
        bgr += 12;
    }
}

// A vector row-pair converter: converts whole blocks from the start of the rows and returns
// the groups it did; null for the table walk alone.
using VectorRowPair = int (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                              int, std::uint8_t*, std::uint8_t*);

bool ProcessorHas(ColourConversion way)
{
    switch (way) {
    case ColourConversion::Automatic:
    case ColourConversion::Tables:
        return true;
    case ColourConversion::Sse41:
        return __builtin_cpu_supports("sse4.1");
    case ColourConversion::Avx2:
        return __builtin_cpu_supports("avx2");
    }
    return false;
}

VectorRowPair VectorRowsFor(ColourConversion way)
{
    if (way == ColourConversion::Automatic) {
        static const ColourConversion fastest = ProcessorHas(ColourConversion::Avx2)    ? ColourConversion::Avx2
                                                : ProcessorHas(ColourConversion::Sse41) ? ColourConversion::Sse41
                                                                                        : ColourConversion::Tables;
        way = fastest;
    }
    if (!ProcessorHas(way))
        return nullptr;
    switch (way) {
    case ColourConversion::Sse41:
        return ConvertRowPairSse41;
    case ColourConversion::Avx2:
        return ConvertRowPairAvx2;
    default:
        return nullptr;
    }
}

void WriteBitmapInfoHeader(std::uint8_t* header, int width, int height)
{
    auto put32 = [header](int offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    std::memset(header, 0, kBitmapInfoHeaderBytes);
    put32(0, kBitmapInfoHeaderBytes);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));  // positive: rows run bottom-up
    header[12] = 1;                                 // planes
    header[14] = 24;                                // bits per pixel
    put32(20, static_cast<std::uint32_t>(static_cast<std::uint64_t>(width) * height * 3));
}

}  // namespace

bool ColourConversionAvailable(ColourConversion way)
{
    return ProcessorHas(way);
}

bool MakeSnapshotBitmap(const std::uint8_t* yv12, int width, int height, SnapshotBitmap& bitmap,
                        ColourConversion way)
{
    if (yv12 == nullptr || width <= 0 || height <= 0)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bytes.resize(kBitmapInfoHeaderBytes + rowBytes * static_cast<std::size_t>(height));
    std::uint8_t* pixels = bitmap.bytes.data() + kBitmapInfoHeaderBytes;
    // Pixels the conversion does not reach (widths that are not a multiple of 4) stay black.
    const int groups = width / 4;
    const std::size_t converted = static_cast<std::size_t>(groups) * 12;
    const std::size_t lumaBytes = static_cast<std::size_t>(width) * height;
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    // A picture one pixel high or wide has no chroma sample of its own: it is grey.
    std::vector<std::uint8_t> grey;
    const std::uint8_t* planeV = yv12 + lumaBytes;
    const std::uint8_t* planeU = planeV + static_cast<std::size_t>(chromaWidth) * chromaHeight;
    if (chromaWidth == 0 || chromaHeight == 0) {
        grey.assign(static_cast<std::size_t>(groups) * 2, 128);
        planeV = grey.data();
        planeU = grey.data();
    }
    // Row r of the picture lands at row height - 1 - r of the bottom-up bitmap; the last
    // chroma row also serves an odd last picture row.
    const VectorRowPair vectorRows = VectorRowsFor(way);
    auto output = [&](int row) { return pixels + static_cast<std::size_t>(height - 1 - row) * rowBytes; };
    for (int row = 0; row < height; row += 2) {
        const bool pair = row + 1 < height;
        const std::size_t chromaRow =
            chromaHeight == 0 ? 0 : static_cast<std::size_t>(std::min(row / 2, chromaHeight - 1)) * chromaWidth;
        const std::uint8_t* luma = yv12 + static_cast<std::size_t>(row) * width;
        std::uint8_t* out = output(row);
        std::uint8_t* outBelow = pair ? output(row + 1) : nullptr;
        const std::uint8_t* lumaBelow = pair ? luma + width : nullptr;
        const std::uint8_t* u = planeU + chromaRow;
        const std::uint8_t* v = planeV + chromaRow;
        // The vector way takes whole blocks, the tables the groups left at the end of the row.
        const int done = vectorRows != nullptr ? vectorRows(luma, lumaBelow, u, v, groups, out, outBelow) : 0;
        ConvertRowPair(luma + 4 * done, pair ? lumaBelow + 4 * done : nullptr, u + 2 * done, v + 2 * done,
                       groups - done, out + 12 * done, pair ? outBelow + 12 * done : nullptr);
        if (converted < rowBytes) {
            std::memset(out + converted, 0, rowBytes - converted);
            if (pair)
                std::memset(outBelow + converted, 0, rowBytes - converted);
        }
    }
    WriteBitmapInfoHeader(bitmap.bytes.data(), width, height);
    return true;
}

}  // namespace halvane
