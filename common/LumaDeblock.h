#pragma once

#include <cstdint>
#include <vector>

namespace suite {

// The luma deblocking the XviD library applies to a picture on output when asked for it,
// done here instead so that it costs a fraction: the library leaves its decoded picture in
// place (its internal planes) and this filter works on a copy of the luma while writing the
// caller's picture (packed YUY2 for the player engine, the planar luma for the decoding
// library). The result is byte for byte the library's own.
//
// The filter runs over every 8 x 8 block edge of the macroblock-aligned luma and gives what
// filtering first all horizontal edges from the top, then all vertical edges from the left
// gives; each edge reads five samples on one side and five on the other and chooses between
// a smooth-area filter and a default one by how flat the ten samples are; the macroblock's
// quantiser sets its strength.
//
// Not thread-safe: one instance per decoder, used by the thread that decodes.
class LumaDeblock {
public:
    // Internal planes of one decoded 4:2:0 picture as the library hands them out. The luma
    // plane covers whole macroblocks (at least 16 x mb columns and rows).
    struct Planes {
        const uint8_t* y = nullptr;
        const uint8_t* u = nullptr;
        const uint8_t* v = nullptr;
        int y_stride = 0;
        int chroma_stride = 0;
    };

    // Deblocks the luma of `planes` (quantisers: one per macroblock, `quant_stride` apart; none
    // leaves the picture as decoded) and packs a width x height YUY2 picture with rows
    // `yuy2_stride` bytes apart. Chroma row y / 2 serves picture rows y and y + 1; in an
    // interlaced picture each field pairs its own rows. Needs an even width.
    void PackYuy2(const Planes& planes, const int* quants, int quant_stride, int width, int height, bool interlaced,
                  uint8_t* yuy2, int yuy2_stride);

    // The same filter, writing only the deblocked luma: width x height samples, rows
    // `luma_stride` bytes apart. Any width.
    void DeblockLuma(const Planes& planes, const int* quants, int quant_stride, int width, int height, uint8_t* luma,
                     int luma_stride);

private:
    // Filters and hands each finished picture row to sink(row samples, row number), top to
    // bottom. The luma is filtered in `work` (rows `work_stride` apart, whole macroblocks), or
    // in luma_ when work is null.
    template <typename RowSink>
    void Filter(const Planes& planes, const int* quants, int quant_stride, int width, int height, uint8_t* work,
                int work_stride, RowSink&& sink);

    std::vector<uint8_t> luma_;   // the macroblock-aligned luma being filtered
    std::vector<int16_t> strip_;  // eight rows of it, column by column
};

// One picture row of planar 4:2:0 samples (luma, and the chroma row it shares) packed into
// Y0 U Y1 V pairs; an odd last sample is left out.
void PackYuy2Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out);

}  // namespace suite
