#include "common/LumaDeblock.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace suite {

namespace {

// Eight lines across one edge are filtered at once, one per lane.
using Lanes = int16_t __attribute__((vector_size(16)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));

// Neighbouring samples closer than this count as flat.
constexpr int kFlatStep = 2;
// This many flat steps among the ten samples choose the smooth-area filter.
constexpr int kSmoothAreaSteps = 6;

Lanes Splat(int value) {
    const auto v = static_cast<int16_t>(value);
    return Lanes{v, v, v, v, v, v, v, v};
}
Lanes Abs(Lanes x) { return x < 0 ? -x : x; }
Lanes Min(Lanes a, Lanes b) { return a < b ? a : b; }
Lanes Max(Lanes a, Lanes b) { return a > b ? a : b; }
// `mask` lanes are all ones or all zeros, as vector comparisons give them.
Lanes Select(Lanes mask, Lanes a, Lanes b) { return (mask & a) | (~mask & b); }

Lanes Load(const uint8_t* at) {
    Bytes8 bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    return __builtin_convertvector(bytes, Lanes);
}
void Store(uint8_t* at, Lanes lanes) {
    const Bytes8 bytes = __builtin_convertvector(lanes, Bytes8);
    std::memcpy(at, &bytes, sizeof bytes);
}

// Whether any lane of a comparison result is set.
bool Any(Lanes mask) {
#if defined(__SSE2__)
    return _mm_movemask_epi8(reinterpret_cast<__m128i>(mask)) != 0;
#else
    for (int i = 0; i < 8; ++i)
        if (mask[i] != 0) return true;
    return false;
#endif
}

// s[0..9]: the samples across the edge, the edge lying between s[4] and s[5]; s[1..8] are
// replaced by the filtered samples. `quant` is the macroblock's quantiser in every lane.
// Each lane takes one filter or none, and the lanes never mix, so a filter that no lane
// takes is skipped; in most pictures most edges take the default filter or none at all.
[[gnu::always_inline]] inline void FilterEdge(Lanes* s, Lanes quant) {
    Lanes flat = Splat(0);
    for (int k = 0; k < 8; ++k) flat -= static_cast<Lanes>(Abs(s[k] - s[k + 1]) < kFlatStep);
    const Lanes default_mode = flat < kSmoothAreaSteps;

    if (Any(~default_mode)) {
        // Smooth-area filter: a nine-tap low pass over s[1..8] when their range is small,
        // padded with the outer samples when these are close.
        Lanes high = s[1], low = s[1];
        for (int k = 2; k <= 8; ++k) {
            high = Max(high, s[k]);
            low = Min(low, s[k]);
        }
        const Lanes apply_smooth = ~default_mode & static_cast<Lanes>((high - low) < 2 * quant);
        if (Any(apply_smooth)) {
            const Lanes p0 = Select(static_cast<Lanes>(Abs(s[1] - s[0]) < quant), s[0], s[1]);
            const Lanes p9 = Select(static_cast<Lanes>(Abs(s[8] - s[9]) < quant), s[9], s[8]);
            Lanes smooth[9];
            smooth[1] = (6 * p0 + 4 * s[1] + 2 * s[2] + 2 * s[3] + s[4] + s[5] + 8) >> 4;
            smooth[2] = (4 * p0 + 2 * s[1] + 4 * s[2] + 2 * s[3] + 2 * s[4] + s[5] + s[6] + 8) >> 4;
            smooth[3] = (2 * p0 + 2 * s[1] + 2 * s[2] + 4 * s[3] + 2 * s[4] + 2 * s[5] + s[6] + s[7] + 8) >> 4;
            smooth[4] = (p0 + s[1] + 2 * s[2] + 2 * s[3] + 4 * s[4] + 2 * s[5] + 2 * s[6] + s[7] + s[8] + 8) >> 4;
            smooth[5] = (s[1] + s[2] + 2 * s[3] + 2 * s[4] + 4 * s[5] + 2 * s[6] + 2 * s[7] + s[8] + p9 + 8) >> 4;
            smooth[6] = (s[2] + s[3] + 2 * s[4] + 2 * s[5] + 4 * s[6] + 2 * s[7] + 2 * s[8] + 2 * p9 + 8) >> 4;
            smooth[7] = (s[3] + s[4] + 2 * s[5] + 2 * s[6] + 4 * s[7] + 2 * s[8] + 4 * p9 + 8) >> 4;
            smooth[8] = (s[4] + s[5] + 2 * s[6] + 2 * s[7] + 4 * s[8] + 6 * p9 + 8) >> 4;
            for (int k = 1; k <= 8; ++k) s[k] = Select(apply_smooth, smooth[k], s[k]);
        }
    }

    // Default filter: moves the two samples at the edge towards each other, by at most half
    // their step, when the step is below the quantiser. Its lanes are untouched above.
    const Lanes step = s[4] - s[5];
    const Lanes apply_default = default_mode & static_cast<Lanes>(Abs(step) < quant);
    if (!Any(apply_default)) return;
    const Lanes across = 2 * s[3] - 5 * s[4] + 5 * s[5] - 2 * s[6];
    const Lanes before = 2 * s[1] - 5 * s[2] + 5 * s[3] - 2 * s[4];
    const Lanes after = 2 * s[5] - 5 * s[6] + 5 * s[7] - 2 * s[8];
    const Lanes least = Min(Abs(across), Min(Abs(before), Abs(after)));
    Lanes diff = (5 * ((across > 0 ? least : -least) - across) + 32) >> 6;
    const Lanes limit = step / 2;
    const Lanes zero = Splat(0);
    diff = Max(Min(diff, Max(limit, zero)), Min(limit, zero));
    s[4] = Select(apply_default, s[4] - diff, s[4]);
    s[5] = Select(apply_default, s[5] + diff, s[5]);
}

// Eight rows of `width` luma samples (a multiple of 8) to `width` columns of eight 16-bit
// samples, and back.
void RowsToColumns(const uint8_t* rows, int stride, int width, int16_t* columns) {
    for (int x = 0; x < width; x += 8) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i r[8];
        for (int i = 0; i < 8; ++i)
            r[i] = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows + static_cast<size_t>(i) * stride + x)), zero);
        const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
        const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
        const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
        const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
        const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
        const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
        const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
        const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
        __m128i* out = reinterpret_cast<__m128i*>(columns + static_cast<size_t>(x) * 8);
        _mm_storeu_si128(out + 0, _mm_unpacklo_epi64(b0, b4));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi64(b0, b4));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi64(b1, b5));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi64(b1, b5));
        _mm_storeu_si128(out + 4, _mm_unpacklo_epi64(b2, b6));
        _mm_storeu_si128(out + 5, _mm_unpackhi_epi64(b2, b6));
        _mm_storeu_si128(out + 6, _mm_unpacklo_epi64(b3, b7));
        _mm_storeu_si128(out + 7, _mm_unpackhi_epi64(b3, b7));
#else
        for (int i = 0; i < 8; ++i)
            for (int c = 0; c < 8; ++c) columns[(x + c) * 8 + i] = rows[static_cast<size_t>(i) * stride + x + c];
#endif
    }
}

void ColumnsToRows(const int16_t* columns, int width, uint8_t* rows, int stride) {
    for (int x = 0; x < width; x += 8) {
#if defined(__SSE2__)
        const __m128i* in = reinterpret_cast<const __m128i*>(columns + static_cast<size_t>(x) * 8);
        __m128i c[8];
        for (int i = 0; i < 8; ++i) c[i] = _mm_loadu_si128(in + i);
        const __m128i a0 = _mm_unpacklo_epi16(c[0], c[1]), a1 = _mm_unpackhi_epi16(c[0], c[1]);
        const __m128i a2 = _mm_unpacklo_epi16(c[2], c[3]), a3 = _mm_unpackhi_epi16(c[2], c[3]);
        const __m128i a4 = _mm_unpacklo_epi16(c[4], c[5]), a5 = _mm_unpackhi_epi16(c[4], c[5]);
        const __m128i a6 = _mm_unpacklo_epi16(c[6], c[7]), a7 = _mm_unpackhi_epi16(c[6], c[7]);
        const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
        const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
        const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
        const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
        const __m128i r01 = _mm_packus_epi16(_mm_unpacklo_epi64(b0, b4), _mm_unpackhi_epi64(b0, b4));
        const __m128i r23 = _mm_packus_epi16(_mm_unpacklo_epi64(b1, b5), _mm_unpackhi_epi64(b1, b5));
        const __m128i r45 = _mm_packus_epi16(_mm_unpacklo_epi64(b2, b6), _mm_unpackhi_epi64(b2, b6));
        const __m128i r67 = _mm_packus_epi16(_mm_unpacklo_epi64(b3, b7), _mm_unpackhi_epi64(b3, b7));
        const __m128i pairs[4] = {r01, r23, r45, r67};
        for (int i = 0; i < 4; ++i) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(rows + static_cast<size_t>(2 * i) * stride + x), pairs[i]);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(rows + static_cast<size_t>(2 * i + 1) * stride + x),
                             _mm_srli_si128(pairs[i], 8));
        }
#else
        for (int i = 0; i < 8; ++i)
            for (int c = 0; c < 8; ++c)
                rows[static_cast<size_t>(i) * stride + x + c] = static_cast<uint8_t>(columns[(x + c) * 8 + i]);
#endif
    }
}

// One picture row: luma samples, the shared chroma samples, into Y0 U Y1 V pairs.
void PackRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out) {
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

}  // namespace

template <typename RowSink>
void LumaDeblock::Filter(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                         RowSink&& sink) {
    if (quants == nullptr) {
        for (int row = 0; row < height; ++row) sink(planes.y + static_cast<size_t>(row) * planes.y_stride, row);
        return;
    }

    const int mb_columns = (width + 15) / 16;
    const int block_rows = (height + 15) / 16 * 2;
    const int luma_width = mb_columns * 16;
    const int luma_height = block_rows * 8;
    const size_t luma_bytes = static_cast<size_t>(luma_width) * luma_height;
    if (luma_.size() != luma_bytes) luma_.assign(luma_bytes, 0);
    strip_.resize(static_cast<size_t>(luma_width) * 8);
    uint8_t* const plane = luma_.data();
    Lanes s[10];

    // Only the picture's rows are copied: rows below it, down to the macroblock edge, keep
    // what the previous picture's filtering left there (zero at first), as the library's own
    // filter sees them.
    int copied = 0;
    auto copy_rows_before = [&](int end) {
        for (; copied < std::min(end, height); ++copied)
            std::memcpy(plane + static_cast<size_t>(copied) * luma_width,
                        planes.y + static_cast<size_t>(copied) * planes.y_stride, luma_width);
    };

    // The vertical edges of one block row, left to right: its eight rows are turned into
    // columns so that each lane is one row. Then its rows go out.
    Lanes* const columns = reinterpret_cast<Lanes*>(strip_.data());
    auto finish_block_row = [&](int block_row) {
        uint8_t* const rows = plane + static_cast<size_t>(block_row) * 8 * luma_width;
        const int* const row_quants = quants + (block_row / 2) * quant_stride;
        RowsToColumns(rows, luma_width, luma_width, strip_.data());
        for (int x = 8; x < luma_width; x += 8) {
            const Lanes quant = Splat(row_quants[x / 16]);
            Lanes* const at = columns + x - 5;
            for (int k = 0; k < 10; ++k) s[k] = at[k];
            FilterEdge(s, quant);
            for (int k = 1; k <= 8; ++k) at[k] = s[k];
        }
        ColumnsToRows(strip_.data(), luma_width, rows, luma_width);
        for (int row = block_row * 8; row < std::min(block_row * 8 + 8, height); ++row)
            sink(plane + static_cast<size_t>(row) * luma_width, row);
    };

    // The horizontal edges, top to bottom, eight columns at a time, one lane per column. The
    // edge below a block row changes its rows up to four above the edge, and no later
    // horizontal edge reaches them, nor does a vertical edge reach another block row: so each
    // block row is finished as soon as the edge below it is done, while its rows are still in
    // the cache.
    for (int block_row = 1; block_row < block_rows; ++block_row) {
        copy_rows_before(block_row * 8 + 5);
        uint8_t* const edge = plane + static_cast<size_t>(block_row) * 8 * luma_width;
        const int* const row_quants = quants + (block_row / 2) * quant_stride;
        for (int x = 0; x < luma_width; x += 8) {
            const Lanes quant = Splat(row_quants[x / 16]);
            for (int k = 0; k < 10; ++k) s[k] = Load(edge + (k - 5) * luma_width + x);
            FilterEdge(s, quant);
            for (int k = 1; k <= 8; ++k) Store(edge + (k - 5) * luma_width + x, s[k]);
        }
        finish_block_row(block_row - 1);
    }
    copy_rows_before(luma_height);
    finish_block_row(block_rows - 1);
}

void LumaDeblock::PackYuy2(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                           bool interlaced, uint8_t* yuy2, int yuy2_stride) {
    Filter(planes, quants, quant_stride, width, height, [&](const uint8_t* luma, int row) {
        // Interlaced pictures share chroma rows within a field: rows 4k and 4k + 2 take chroma
        // row 2k, rows 4k + 1 and 4k + 3 take 2k + 1.
        const int chroma_row = interlaced ? row / 4 * 2 + row % 2 : row / 2;
        PackRow(luma, planes.u + static_cast<size_t>(chroma_row) * planes.chroma_stride,
                planes.v + static_cast<size_t>(chroma_row) * planes.chroma_stride, width,
                yuy2 + static_cast<size_t>(row) * yuy2_stride);
    });
}

void LumaDeblock::DeblockLuma(const Planes& planes, const int* quants, int quant_stride, int width, int height,
                              uint8_t* luma, int luma_stride) {
    Filter(planes, quants, quant_stride, width, height, [&](const uint8_t* source, int row) {
        std::memcpy(luma + static_cast<size_t>(row) * luma_stride, source, static_cast<size_t>(width));
    });
}

}  // namespace suite
