#include "common/LumaDeblockWide.h"

#include <cstdlib>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace suite::luma_deblock_wide {

#if defined(__AVX2__)

namespace {

// Sixteen lines across one edge at once, one per lane.
using Lanes = int16_t __attribute__((vector_size(32)));
using Bytes = uint8_t __attribute__((vector_size(16)));
using Words = uint64_t __attribute__((vector_size(32)));

// The standard headers it needs are included above, outside this namespace.
#include "common/LumaDeblockEdge.h"

// Eight columns' samples of the upper eight rows and of the lower eight, as sixteen lanes.
Lanes Join(const int16_t* upper, const int16_t* lower) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower));
    return reinterpret_cast<Lanes>(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1));
}
void Split(Lanes lanes, int16_t* upper, int16_t* lower) {
    const __m256i both = reinterpret_cast<__m256i>(lanes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper), _mm256_castsi256_si128(both));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower), _mm256_extracti128_si256(both, 1));
}

}  // namespace

bool Available() {
    // SUITE_LUMA_DEBLOCK_LANES=8 keeps the eight-line filter, so that it can be checked on a
    // processor that has AVX2.
    static const bool wide = [] {
        const char* lanes = std::getenv("SUITE_LUMA_DEBLOCK_LANES");
        return __builtin_cpu_supports("avx2") && (lanes == nullptr || std::strcmp(lanes, "8") != 0);
    }();
    return wide;
}

void HorizontalEdge(uint8_t* edge, int stride, int width, const int* quants) {
    Lanes s[10];
    for (int x = 0; x < width; x += 16) {
        const Lanes quant = Splat(quants[x / 16]);
        for (int k = 0; k < 10; ++k) s[k] = Load(edge + (k - 5) * stride + x);
        FilterEdge(s, quant);
        for (int k = 1; k <= 8; ++k) Store(edge + (k - 5) * stride + x, s[k]);
    }
}

void VerticalEdges(uint8_t* rows, int stride, int width, const int* quants, int16_t* strip) {
    // Each half turned into columns of eight samples, as the eight-line filter has them; a
    // column of the upper half and the same column of the lower one make sixteen lanes.
    int16_t* const upper = strip;
    int16_t* const lower = strip + static_cast<size_t>(width) * 8;
    RowsToColumns(rows, stride, width, upper);
    RowsToColumns(rows + static_cast<size_t>(8) * stride, stride, width, lower);
    Lanes s[10];
    for (int x = 8; x < width; x += 8) {
        const Lanes quant = Splat(quants[x / 16]);
        for (int k = 0; k < 10; ++k)
            s[k] = Join(upper + static_cast<size_t>(x - 5 + k) * 8, lower + static_cast<size_t>(x - 5 + k) * 8);
        FilterEdge(s, quant);
        for (int k = 1; k <= 8; ++k)
            Split(s[k], upper + static_cast<size_t>(x - 5 + k) * 8, lower + static_cast<size_t>(x - 5 + k) * 8);
    }
    ColumnsToRows(upper, width, rows, stride);
    ColumnsToRows(lower, width, rows + static_cast<size_t>(8) * stride, stride);
}

#else

bool Available() {
    return false;
}
void HorizontalEdge(uint8_t*, int, int, const int*) {}
void VerticalEdges(uint8_t*, int, int, const int*, int16_t*) {}

#endif

}  // namespace suite::luma_deblock_wide
