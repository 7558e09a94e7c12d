#include "common/LumaDeblock.h"

#include "common/LumaDeblockWide.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace suite {

namespace {

// Eight lines across one edge are filtered at once, one per lane.
using Lanes = int16_t __attribute__((vector_size(16)));
using Bytes = uint8_t __attribute__((vector_size(8)));
using Words = uint64_t __attribute__((vector_size(16)));

// The standard headers it needs are included above, outside this namespace.
#include "common/LumaDeblockEdge.h"

}  // namespace

void PackYuy2Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= width; x += 16) {
        const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i chroma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)),
                                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), _mm_unpacklo_epi8(luma, chroma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), _mm_unpackhi_epi8(luma, chroma));
    }
#endif
    for (; x + 2 <= width; x += 2) {
        out[2 * x] = y[x];
        out[2 * x + 1] = u[x / 2];
        out[2 * x + 2] = y[x + 1];
        out[2 * x + 3] = v[x / 2];
    }
}

template <typename RowSink>
void LumaDeblock::Filter(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                         uint8_t* work, int work_stride, RowSink&& sink) {
    if (quants == nullptr) {
        for (int row = 0; row < height; ++row) sink(planes.y + static_cast<size_t>(row) * planes.y_stride, row);
        return;
    }

    const int mb_columns = (width + 15) / 16;
    const int block_rows = (height + 15) / 16 * 2;
    const int luma_width = mb_columns * 16;
    const int luma_height = block_rows * 8;
    uint8_t* plane = work;
    int stride = work_stride;
    if (plane == nullptr) {
        const size_t luma_bytes = static_cast<size_t>(luma_width) * luma_height;
        if (luma_.size() != luma_bytes) luma_.assign(luma_bytes, 0);
        plane = luma_.data();
        stride = luma_width;
    }
    strip_.resize(static_cast<size_t>(luma_width) * 8);
    Lanes s[10];

    // Only the picture's rows are copied: rows below it, down to the macroblock edge, keep
    // what the previous picture's filtering left there (zero at first), as the library's own
    // filter sees them.
    int copied = 0;
    auto copy_rows_before = [&](int end) {
        for (; copied < std::min(end, height); ++copied)
            std::memcpy(plane + static_cast<size_t>(copied) * stride,
                        planes.y + static_cast<size_t>(copied) * planes.y_stride, luma_width);
    };

    // The vertical edges of one block row, left to right: its eight rows are turned into
    // columns so that each lane is one row. Then its rows go out.
    Lanes* const columns = reinterpret_cast<Lanes*>(strip_.data());
    auto finish_block_row = [&](int block_row) {
        uint8_t* const rows = plane + static_cast<size_t>(block_row) * 8 * stride;
        const int* const row_quants = quants + (block_row / 2) * quant_stride;
        RowsToColumns(rows, stride, luma_width, strip_.data());
        for (int x = 8; x < luma_width; x += 8) {
            const Lanes quant = Splat(row_quants[x / 16]);
            Lanes* const at = columns + x - 5;
            for (int k = 0; k < 10; ++k) s[k] = at[k];
            FilterEdge(s, quant);
            for (int k = 1; k <= 8; ++k) at[k] = s[k];
        }
        ColumnsToRows(strip_.data(), luma_width, rows, stride);
        for (int row = block_row * 8; row < std::min(block_row * 8 + 8, height); ++row)
            sink(plane + static_cast<size_t>(row) * stride, row);
    };

    // With sixteen lanes, a macroblock row at a time in the same order: its two horizontal
    // edges (inside it and below it), then the vertical edges of its sixteen rows.
    if (luma_deblock_wide::Available()) {
        strip_.resize(static_cast<size_t>(luma_width) * 16);
        const int mb_rows = block_rows / 2;
        for (int mb_row = 0; mb_row < mb_rows; ++mb_row) {
            const int top = mb_row * 16;
            const int* const row_quants = quants + mb_row * quant_stride;
            copy_rows_before(top + 8 + 5);
            luma_deblock_wide::HorizontalEdge(plane + static_cast<size_t>(top + 8) * stride, stride, luma_width,
                                              row_quants);
            if (mb_row + 1 < mb_rows) {
                copy_rows_before(top + 16 + 5);
                luma_deblock_wide::HorizontalEdge(plane + static_cast<size_t>(top + 16) * stride, stride,
                                                  luma_width, row_quants + quant_stride);
            } else {
                copy_rows_before(luma_height);
            }
            luma_deblock_wide::VerticalEdges(plane + static_cast<size_t>(top) * stride, stride, luma_width, row_quants,
                                             strip_.data());
            for (int row = top; row < std::min(top + 16, height); ++row)
                sink(plane + static_cast<size_t>(row) * stride, row);
        }
        return;
    }

    // The horizontal edges, top to bottom, eight columns at a time, one lane per column. The
    // edge below a block row changes its rows up to four above the edge, and no later
    // horizontal edge reaches them, nor does a vertical edge reach another block row: so each
    // block row is finished as soon as the edge below it is done, while its rows are still in
    // the cache.
    for (int block_row = 1; block_row < block_rows; ++block_row) {
        copy_rows_before(block_row * 8 + 5);
        uint8_t* const edge = plane + static_cast<size_t>(block_row) * 8 * stride;
        const int* const row_quants = quants + (block_row / 2) * quant_stride;
        for (int x = 0; x < luma_width; x += 8) {
            const Lanes quant = Splat(row_quants[x / 16]);
            for (int k = 0; k < 10; ++k) s[k] = Load(edge + (k - 5) * stride + x);
            FilterEdge(s, quant);
            for (int k = 1; k <= 8; ++k) Store(edge + (k - 5) * stride + x, s[k]);
        }
        finish_block_row(block_row - 1);
    }
    copy_rows_before(luma_height);
    finish_block_row(block_rows - 1);
}

void LumaDeblock::PackYuy2(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                           bool interlaced, uint8_t* yuy2, int yuy2_stride) {
    Filter(planes, quants, quant_stride, width, height, nullptr, 0, [&](const uint8_t* luma, int row) {
        // Interlaced pictures share chroma rows within a field: rows 4k and 4k + 2 take chroma
        // row 2k, rows 4k + 1 and 4k + 3 take 2k + 1.
        const int chroma_row = interlaced ? row / 4 * 2 + row % 2 : row / 2;
        PackYuy2Row(luma, planes.u + static_cast<size_t>(chroma_row) * planes.chroma_stride,
                    planes.v + static_cast<size_t>(chroma_row) * planes.chroma_stride, width,
                    yuy2 + static_cast<size_t>(row) * yuy2_stride);
    });
}

void LumaDeblock::DeblockLuma(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                              uint8_t* luma, int luma_stride) {
    // A picture of whole macroblocks is filtered where it is written, with no copy in between.
    if (width % 16 == 0 && height % 16 == 0 && quants != nullptr) {
        Filter(planes, quants, quant_stride, width, height, luma, luma_stride, [](const uint8_t*, int) {});
        return;
    }
    Filter(planes, quants, quant_stride, width, height, nullptr, 0, [&](const uint8_t* source, int row) {
        std::memcpy(luma + static_cast<size_t>(row) * luma_stride, source, static_cast<size_t>(width));
    });
}

}  // namespace suite
