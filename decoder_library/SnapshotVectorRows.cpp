#include "decoder_library/SnapshotVectorRows.h"

#include <immintrin.h>

#include <array>

namespace halvane {

namespace {

// The fractional part of each factor in 1/32768, the nearest whole number; with the whole
// number part added separately a rounding high multiply gives the same rounded share as the
// table for every 8-bit input (Y - 16 from -16 to 239, U - 128 and V - 128 from -128 to 127).
constexpr short kLumaFraction = 5374;        // 1.164 = 1 + 0.164
constexpr short kBlueOfUFraction = 590;      // 2.018 = 2 + 0.018
constexpr short kGreenOfU = -12812;          // -0.391
constexpr short kGreenOfV = -26640;          // -0.813
constexpr short kRedOfVFraction = 19530;     // 1.596 = 1 + 0.596

// pshufb controls that interleave 16 blue, 16 green and 16 red bytes into 48 bytes of blue,
// green, red pixels: [output vector][colour], the same 16 bytes twice for both 128-bit lanes.
// A control byte with its top bit set writes zero.
struct InterleaveControls {
    alignas(32) std::array<std::array<std::array<signed char, 32>, 3>, 3> bytes;
};

constexpr InterleaveControls MakeInterleaveControls()
{
    InterleaveControls controls{};
    for (int vector = 0; vector < 3; ++vector)
        for (int colour = 0; colour < 3; ++colour)
            for (int at = 0; at < 32; ++at) {
                const int output = 16 * vector + at % 16;
                controls.bytes[vector][colour][at] =
                    static_cast<signed char>(output % 3 == colour ? output / 3 : -128);
            }
    return controls;
}

constexpr InterleaveControls kInterleave = MakeInterleaveControls();

// ---- SSE4.1: 16 pixels a row at a time ----

struct ChromaShares128 {
    __m128i blueLow, blueHigh, greenLow, greenHigh, redLow, redHigh;  // per pixel 0-7 and 8-15
};

[[gnu::target("sse4.1"), gnu::always_inline]] inline __m128i Interleave128(__m128i blue, __m128i green, __m128i red,
                                                                          int vector)
{
    const auto* controls = reinterpret_cast<const __m128i*>(kInterleave.bytes[vector].data());
    // Each colour's control is 32 bytes apart: two __m128i.
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blue, _mm_load_si128(controls)),
                                     _mm_shuffle_epi8(green, _mm_load_si128(controls + 2))),
                        _mm_shuffle_epi8(red, _mm_load_si128(controls + 4)));
}

[[gnu::target("sse4.1"), gnu::always_inline]] inline void ConvertRow16(const std::uint8_t* luma,
                                                                       const ChromaShares128& chroma,
                                                                       std::uint8_t* bgr)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
    const __m128i yLow = _mm_sub_epi16(_mm_unpacklo_epi8(y, zero), _mm_set1_epi16(16));
    const __m128i yHigh = _mm_sub_epi16(_mm_unpackhi_epi8(y, zero), _mm_set1_epi16(16));
    const __m128i lumaLow = _mm_add_epi16(yLow, _mm_mulhrs_epi16(yLow, _mm_set1_epi16(kLumaFraction)));
    const __m128i lumaHigh = _mm_add_epi16(yHigh, _mm_mulhrs_epi16(yHigh, _mm_set1_epi16(kLumaFraction)));
    // Saturating to unsigned bytes is the clamp to 0..255.
    const __m128i blue = _mm_packus_epi16(_mm_add_epi16(lumaLow, chroma.blueLow), _mm_add_epi16(lumaHigh, chroma.blueHigh));
    const __m128i green =
        _mm_packus_epi16(_mm_add_epi16(lumaLow, chroma.greenLow), _mm_add_epi16(lumaHigh, chroma.greenHigh));
    const __m128i red = _mm_packus_epi16(_mm_add_epi16(lumaLow, chroma.redLow), _mm_add_epi16(lumaHigh, chroma.redHigh));
    for (int vector = 0; vector < 3; ++vector)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 16 * vector), Interleave128(blue, green, red, vector));
}

// ---- AVX2: 32 pixels a row at a time, each 128-bit lane doing 16 of them ----

// Low halves serve pixels 0-7 and 16-23, high halves pixels 8-15 and 24-31: the order the
// in-lane unpacking of 32 luma bytes gives.
struct ChromaShares256 {
    __m256i blueLow, blueHigh, greenLow, greenHigh, redLow, redHigh;
};

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Interleave256(__m256i blue, __m256i green, __m256i red,
                                                                        int vector)
{
    const auto* controls = reinterpret_cast<const __m256i*>(kInterleave.bytes[vector].data());
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(blue, _mm256_load_si256(controls)),
                                           _mm256_shuffle_epi8(green, _mm256_load_si256(controls + 1))),
                           _mm256_shuffle_epi8(red, _mm256_load_si256(controls + 2)));
}

[[gnu::target("avx2"), gnu::always_inline]] inline void ConvertRow32(const std::uint8_t* luma,
                                                                     const ChromaShares256& chroma, std::uint8_t* bgr)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma));
    const __m256i yLow = _mm256_sub_epi16(_mm256_unpacklo_epi8(y, zero), _mm256_set1_epi16(16));
    const __m256i yHigh = _mm256_sub_epi16(_mm256_unpackhi_epi8(y, zero), _mm256_set1_epi16(16));
    const __m256i lumaLow = _mm256_add_epi16(yLow, _mm256_mulhrs_epi16(yLow, _mm256_set1_epi16(kLumaFraction)));
    const __m256i lumaHigh = _mm256_add_epi16(yHigh, _mm256_mulhrs_epi16(yHigh, _mm256_set1_epi16(kLumaFraction)));
    const __m256i blue =
        _mm256_packus_epi16(_mm256_add_epi16(lumaLow, chroma.blueLow), _mm256_add_epi16(lumaHigh, chroma.blueHigh));
    const __m256i green =
        _mm256_packus_epi16(_mm256_add_epi16(lumaLow, chroma.greenLow), _mm256_add_epi16(lumaHigh, chroma.greenHigh));
    const __m256i red =
        _mm256_packus_epi16(_mm256_add_epi16(lumaLow, chroma.redLow), _mm256_add_epi16(lumaHigh, chroma.redHigh));
    // Lane 0 holds bytes 0-47 of the row piece, lane 1 bytes 48-95.
    const __m256i first = Interleave256(blue, green, red, 0);
    const __m256i second = Interleave256(blue, green, red, 1);
    const __m256i third = Interleave256(blue, green, red, 2);
    auto* out = reinterpret_cast<__m128i*>(bgr);
    _mm_storeu_si128(out, _mm256_castsi256_si128(first));
    _mm_storeu_si128(out + 1, _mm256_castsi256_si128(second));
    _mm_storeu_si128(out + 2, _mm256_castsi256_si128(third));
    _mm_storeu_si128(out + 3, _mm256_extracti128_si256(first, 1));
    _mm_storeu_si128(out + 4, _mm256_extracti128_si256(second, 1));
    _mm_storeu_si128(out + 5, _mm256_extracti128_si256(third, 1));
}

}  // namespace

[[gnu::target("sse4.1")]] int ConvertRowPairSse41(const std::uint8_t* luma, const std::uint8_t* lumaBelow,
                                                  const std::uint8_t* u, const std::uint8_t* v, int groups,
                                                  std::uint8_t* bgr, std::uint8_t* bgrBelow)
{
    const int blocks = groups / 4;
    const __m128i half = _mm_set1_epi16(128);
    for (int block = 0; block < blocks; ++block) {
        const __m128i cb = _mm_sub_epi16(_mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u))), half);
        const __m128i cr = _mm_sub_epi16(_mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v))), half);
        const __m128i blue = _mm_add_epi16(_mm_add_epi16(cb, cb), _mm_mulhrs_epi16(cb, _mm_set1_epi16(kBlueOfUFraction)));
        const __m128i green = _mm_add_epi16(_mm_mulhrs_epi16(cb, _mm_set1_epi16(kGreenOfU)),
                                            _mm_mulhrs_epi16(cr, _mm_set1_epi16(kGreenOfV)));
        const __m128i red = _mm_add_epi16(cr, _mm_mulhrs_epi16(cr, _mm_set1_epi16(kRedOfVFraction)));
        // Each chroma share serves two neighbouring pixels.
        const ChromaShares128 chroma{_mm_unpacklo_epi16(blue, blue),   _mm_unpackhi_epi16(blue, blue),
                                     _mm_unpacklo_epi16(green, green), _mm_unpackhi_epi16(green, green),
                                     _mm_unpacklo_epi16(red, red),     _mm_unpackhi_epi16(red, red)};
        ConvertRow16(luma, chroma, bgr);
        luma += 16;
        bgr += 48;
        if (lumaBelow != nullptr) {
            ConvertRow16(lumaBelow, chroma, bgrBelow);
            lumaBelow += 16;
            bgrBelow += 48;
        }
        u += 8;
        v += 8;
    }
    return blocks * 4;
}

[[gnu::target("avx2")]] int ConvertRowPairAvx2(const std::uint8_t* luma, const std::uint8_t* lumaBelow,
                                               const std::uint8_t* u, const std::uint8_t* v, int groups,
                                               std::uint8_t* bgr, std::uint8_t* bgrBelow)
{
    const int blocks = groups / 8;
    const __m256i half = _mm256_set1_epi16(128);
    for (int block = 0; block < blocks; ++block) {
        const __m256i cb =
            _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))), half);
        const __m256i cr =
            _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v))), half);
        const __m256i blue =
            _mm256_add_epi16(_mm256_add_epi16(cb, cb), _mm256_mulhrs_epi16(cb, _mm256_set1_epi16(kBlueOfUFraction)));
        const __m256i green = _mm256_add_epi16(_mm256_mulhrs_epi16(cb, _mm256_set1_epi16(kGreenOfU)),
                                               _mm256_mulhrs_epi16(cr, _mm256_set1_epi16(kGreenOfV)));
        const __m256i red = _mm256_add_epi16(cr, _mm256_mulhrs_epi16(cr, _mm256_set1_epi16(kRedOfVFraction)));
        const ChromaShares256 chroma{_mm256_unpacklo_epi16(blue, blue),   _mm256_unpackhi_epi16(blue, blue),
                                     _mm256_unpacklo_epi16(green, green), _mm256_unpackhi_epi16(green, green),
                                     _mm256_unpacklo_epi16(red, red),     _mm256_unpackhi_epi16(red, red)};
        ConvertRow32(luma, chroma, bgr);
        luma += 32;
        bgr += 96;
        if (lumaBelow != nullptr) {
            ConvertRow32(lumaBelow, chroma, bgrBelow);
            lumaBelow += 32;
            bgrBelow += 96;
        }
        u += 16;
        v += 16;
    }
    return blocks * 8;
}

}  // namespace halvane
