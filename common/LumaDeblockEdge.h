#pragma once
// The edge filter of LumaDeblock, for any number of lines at once (one per lane of an int16
// vector). Included by LumaDeblock.cpp (eight lanes, the baseline instruction set) and by
// LumaDeblockWide.cpp (sixteen lanes, built for AVX2): each includes it inside a namespace of
// its own, so that the two builds never stand in for each other at link time, after naming
// there `Lanes` (the int16 vector), `Bytes` (as many uint8 as lanes) and `Words` (uint64
// lanes of the same size).

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Neighbouring samples closer than this count as flat.
constexpr int kFlatStep = 2;
// This many flat steps among the ten samples choose the smooth-area filter.
constexpr int kSmoothAreaSteps = 6;

Lanes Splat(int value) {
    Lanes lanes = {};
    return lanes + static_cast<int16_t>(value);
}
Lanes Abs(Lanes x) { return x < 0 ? -x : x; }
Lanes Min(Lanes a, Lanes b) { return a < b ? a : b; }
Lanes Max(Lanes a, Lanes b) { return a > b ? a : b; }
// `mask` lanes are all ones or all zeros, as vector comparisons give them.
Lanes Select(Lanes mask, Lanes a, Lanes b) { return (mask & a) | (~mask & b); }

// Lanes from as many bytes as there are lanes, and back (the filtered samples stay in 0..255).
Lanes Load(const uint8_t* at) {
    Bytes bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    return __builtin_convertvector(bytes, Lanes);
}
void Store(uint8_t* at, Lanes lanes) {
    const Bytes bytes = __builtin_convertvector(lanes, Bytes);
    std::memcpy(at, &bytes, sizeof bytes);
}

// Whether any lane of a comparison result is set.
bool Any(Lanes mask) {
    const Words words = reinterpret_cast<Words>(mask);
    uint64_t any = 0;
    for (unsigned i = 0; i < sizeof(Lanes) / 8; ++i) any |= words[i];
    return any != 0;
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
