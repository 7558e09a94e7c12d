#include "player_engine/renderers/Yuy2ToBgra.h"

#include "common/LumaDeblock.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pellix {

namespace {

// The equations' factors in 1/16384 units: a channel is summed in 1/32 of a level from
// 16-bit products that keep the high half of (sample x 128) x factor.
constexpr int kLuma = 19071;         // 1.164
constexpr int kRedOfV = 26149;       // 1.596
constexpr int kGreenOfU = -6406;     // -0.391
constexpr int kGreenOfV = -13320;    // -0.813
constexpr int kBlueOfUAbove1 = 16679;  // 2.018 = 1 + 1.018: the whole part is a shift
constexpr int kFractionBits = 5;

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// One pixel with the same arithmetic as the vector loop.
void Pixel(int y, int u, int v, uint8_t* out) {
    auto high = [](int sample, int factor) { return (sample * 128 * factor) >> 16; };
    const int luma = high(y - 16, kLuma);
    const int round = 1 << (kFractionBits - 1);
    out[0] = Clamp((luma + (u - 128) * 32 + high(u - 128, kBlueOfUAbove1) + round) >> kFractionBits);
    out[1] = Clamp((luma + high(u - 128, kGreenOfU) + high(v - 128, kGreenOfV) + round) >> kFractionBits);
    out[2] = Clamp((luma + high(v - 128, kRedOfV) + round) >> kFractionBits);
    out[3] = 255;
}

#if defined(__SSE2__)
// Eight pixels from their 16-bit luma samples and each pixel's U and V (centred on 0).
inline void EightPixels(__m128i luma_samples, __m128i u, __m128i v, uint8_t* out) {
    const __m128i y_offset = _mm_set1_epi16(16);
    const __m128i luma_factor = _mm_set1_epi16(kLuma);
    const __m128i red_v = _mm_set1_epi16(kRedOfV);
    const __m128i green_u = _mm_set1_epi16(kGreenOfU);
    const __m128i green_v = _mm_set1_epi16(kGreenOfV);
    const __m128i blue_u = _mm_set1_epi16(kBlueOfUAbove1);
    const __m128i round = _mm_set1_epi16(1 << (kFractionBits - 1));
    const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i u128 = _mm_slli_epi16(u, 7), v128 = _mm_slli_epi16(v, 7);
    const __m128i luma = _mm_add_epi16(
        _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(luma_samples, y_offset), 7), luma_factor), round);
    const __m128i red = _mm_srai_epi16(_mm_add_epi16(luma, _mm_mulhi_epi16(v128, red_v)), kFractionBits);
    const __m128i green = _mm_srai_epi16(
        _mm_add_epi16(luma, _mm_add_epi16(_mm_mulhi_epi16(u128, green_u), _mm_mulhi_epi16(v128, green_v))),
        kFractionBits);
    const __m128i blue = _mm_srai_epi16(
        _mm_add_epi16(luma, _mm_add_epi16(_mm_slli_epi16(u, 5), _mm_mulhi_epi16(u128, blue_u))), kFractionBits);
    const __m128i blue_green = _mm_unpacklo_epi8(_mm_packus_epi16(blue, blue), _mm_packus_epi16(green, green));
    const __m128i red_alpha = _mm_unpacklo_epi8(_mm_packus_epi16(red, red), opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(blue_green, red_alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(blue_green, red_alpha));
}
#endif

void Row(const uint8_t* in, int width, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i low_bytes = _mm_set1_epi16(0x00FF);
    const __m128i c_offset = _mm_set1_epi16(128);
    for (; x + 8 <= width; x += 8) {
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x));
        const __m128i chroma = _mm_sub_epi16(_mm_srli_epi16(pairs, 8), c_offset);   // U0 V0 U1 V1 ...
        // Each pair's U and V for both of its pixels.
        const __m128i u = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xA0), 0xA0);
        const __m128i v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xF5), 0xF5);
        EightPixels(_mm_and_si128(pairs, low_bytes), u, v, out + 4 * x);
    }
#endif
    for (; x + 2 <= width; x += 2) {
        Pixel(in[2 * x], in[2 * x + 1], in[2 * x + 3], out + 4 * x);
        Pixel(in[2 * x + 2], in[2 * x + 1], in[2 * x + 3], out + 4 * x + 4);
    }
    if (x < width) Pixel(in[2 * x], in[2 * x + 1], x >= 2 ? in[2 * x - 1] : 128, out + 4 * x);
}

#if defined(__x86_64__)
// Sixteen pixels at a time with the same arithmetic as EightPixels, on processors with AVX2.
[[gnu::target("avx2")]] int PlanarRowAvx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                                          uint8_t* out) {
    const __m256i y_offset = _mm256_set1_epi16(16);
    const __m256i c_offset = _mm256_set1_epi16(128);
    const __m256i luma_factor = _mm256_set1_epi16(kLuma);
    const __m256i red_v = _mm256_set1_epi16(kRedOfV);
    const __m256i green_u = _mm256_set1_epi16(kGreenOfU);
    const __m256i green_v = _mm256_set1_epi16(kGreenOfV);
    const __m256i blue_u = _mm256_set1_epi16(kBlueOfUAbove1);
    const __m256i round = _mm256_set1_epi16(1 << (kFractionBits - 1));
    const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xFF));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i luma_samples =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x)));
        // Eight chroma samples, each for two neighbouring pixels.
        const __m128i u8 = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)));
        const __m128i v8 = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)));
        const __m256i uu = _mm256_sub_epi16(
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(u8, u8)), _mm_unpackhi_epi16(u8, u8), 1),
            c_offset);
        const __m256i vv = _mm256_sub_epi16(
            _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(v8, v8)), _mm_unpackhi_epi16(v8, v8), 1),
            c_offset);
        const __m256i u128 = _mm256_slli_epi16(uu, 7), v128 = _mm256_slli_epi16(vv, 7);
        const __m256i luma = _mm256_add_epi16(
            _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(luma_samples, y_offset), 7), luma_factor), round);
        const __m256i red =
            _mm256_srai_epi16(_mm256_add_epi16(luma, _mm256_mulhi_epi16(v128, red_v)), kFractionBits);
        const __m256i green = _mm256_srai_epi16(
            _mm256_add_epi16(luma,
                             _mm256_add_epi16(_mm256_mulhi_epi16(u128, green_u), _mm256_mulhi_epi16(v128, green_v))),
            kFractionBits);
        const __m256i blue = _mm256_srai_epi16(
            _mm256_add_epi16(luma, _mm256_add_epi16(_mm256_slli_epi16(uu, 5), _mm256_mulhi_epi16(u128, blue_u))),
            kFractionBits);
        // Per 128-bit lane: pixels 0-7 in the low lane, 8-15 in the high one.
        const __m256i blue_green =
            _mm256_unpacklo_epi8(_mm256_packus_epi16(blue, blue), _mm256_packus_epi16(green, green));
        const __m256i red_alpha = _mm256_unpacklo_epi8(_mm256_packus_epi16(red, red), opaque);
        const __m256i low = _mm256_unpacklo_epi16(blue_green, red_alpha);    // pixels 0-3 | 8-11
        const __m256i high = _mm256_unpackhi_epi16(blue_green, red_alpha);   // pixels 4-7 | 12-15
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x + 32), _mm256_permute2x128_si256(low, high, 0x31));
    }
    return x;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

void PlanarRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out) {
    int x = 0;
#if defined(__x86_64__)
    if (HasAvx2()) x = PlanarRowAvx2(y, u, v, width, out);
#endif
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i c_offset = _mm_set1_epi16(128);
    for (; x + 8 <= width; x += 8) {
        const __m128i luma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x)), zero);
        int32_t u4, v4;
        std::memcpy(&u4, u + x / 2, 4);
        std::memcpy(&v4, v + x / 2, 4);
        // Four chroma samples, each for two neighbouring pixels.
        const __m128i u16 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), zero), c_offset);
        const __m128i v16 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v4), zero), c_offset);
        EightPixels(luma, _mm_unpacklo_epi16(u16, u16), _mm_unpacklo_epi16(v16, v16), out + 4 * x);
    }
#endif
    for (; x + 2 <= width; x += 2) {
        Pixel(y[x], u[x / 2], v[x / 2], out + 4 * x);
        Pixel(y[x + 1], u[x / 2], v[x / 2], out + 4 * x + 4);
    }
    if (x < width) Pixel(y[x], u[x / 2], v[x / 2], out + 4 * x);
}


}  // namespace

void Yuy2ToBgra(const uint8_t* yuy2, ptrdiff_t yuy2_stride, int width, int height, uint8_t* bgra,
                ptrdiff_t bgra_stride) {
    if (yuy2 == nullptr || bgra == nullptr || width <= 0 || height <= 0) return;
    for (int row = 0; row < height; ++row) Row(yuy2 + row * yuy2_stride, width, bgra + row * bgra_stride);
}

PlanarPicture I420Planes(const uint8_t* picture, int width, int height) {
    PlanarPicture planes;
    if (picture == nullptr) return planes;
    const size_t luma = static_cast<size_t>(width) * height;
    planes.y = picture;
    planes.u = picture + luma;
    planes.v = picture + luma + luma / 4;
    planes.y_stride = width;
    planes.chroma_stride = width / 2;
    return planes;
}

void PlanarToBgra(const PlanarPicture& picture, int width, int height, uint8_t* bgra, ptrdiff_t bgra_stride) {
    if (picture.y == nullptr || picture.u == nullptr || picture.v == nullptr || bgra == nullptr || width <= 0 ||
        height <= 0)
        return;
    for (int row = 0; row < height; ++row)
        PlanarRow(picture.y + row * picture.y_stride, picture.u + (row / 2) * picture.chroma_stride,
                  picture.v + (row / 2) * picture.chroma_stride, width, bgra + row * bgra_stride);
}

void PlanarToYuy2(const PlanarPicture& picture, int width, int height, uint8_t* yuy2, ptrdiff_t yuy2_stride) {
    if (picture.y == nullptr || picture.u == nullptr || picture.v == nullptr || yuy2 == nullptr || width <= 0 ||
        height <= 0)
        return;
    for (int row = 0; row < height; ++row)
        suite::PackYuy2Row(picture.y + row * picture.y_stride, picture.u + (row / 2) * picture.chroma_stride,
                  picture.v + (row / 2) * picture.chroma_stride, width, yuy2 + row * yuy2_stride);
}

}  // namespace pellix
