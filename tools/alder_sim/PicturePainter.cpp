#include "tools/alder_sim/PicturePainter.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace alder {

namespace {

// 5x7 glyphs, one byte per row, bit 4 the leftmost pixel.
struct Glyph {
    char character;
    uint8_t rows[7];
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* FindGlyph(char character)
{
    for (const Glyph& glyph : kGlyphs)
        if (glyph.character == character)
            return &glyph;
    return nullptr;
}

void DrawText(uint8_t* y, int stride, int width, int height, int left, int top, int scale,
              const char* text)
{
    const int advance = 6 * scale;
    const int length = static_cast<int>(std::strlen(text));
    // A dark box behind the text keeps it readable on the pattern.
    for (int row = top - scale; row < top + 8 * scale && row < height; ++row)
        if (row >= 0)
            for (int column = left - scale; column < left + length * advance && column < width;
                 ++column)
                if (column >= 0)
                    y[row * stride + column] = 16;
    for (int i = 0; i < length; ++i) {
        const Glyph* glyph = FindGlyph(text[i]);
        if (!glyph)
            continue;
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx) {
                if (!(glyph->rows[gy] & (0x10 >> gx)))
                    continue;
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx) {
                        int px = left + i * advance + gx * scale + sx;
                        int py = top + gy * scale + sy;
                        if (px < width && py < height)
                            y[py * stride + px] = 235;
                    }
            }
    }
}

}  // namespace

void PicturePainter::Paint(uint8_t* y, int yStride, uint8_t* u, int uStride, uint8_t* v,
                           int vStride, int width, int height, int channel, int64_t frameIndex,
                           const CameraPose& pose)
{
    const int scale = width >= 704 ? 2 : 1;
    const int square = pose.squareSize * scale;
    const int64_t shiftX = frameIndex * 2 * scale + pose.panX * scale;
    const int64_t shiftY = static_cast<int64_t>(pose.panY) * scale;
    for (int row = 0; row < height; ++row) {
        uint8_t* line = y + row * yStride;
        int64_t cellY = (row + shiftY) >= 0 ? (row + shiftY) / square
                                            : -((-(row + shiftY) + square - 1) / square);
        for (int column = 0; column < width; ++column) {
            int64_t x = column + shiftX;
            int64_t cellX = x >= 0 ? x / square : -((-x + square - 1) / square);
            line[column] = ((cellX + cellY) & 1) ? 180 : 60;
        }
    }
    const uint8_t tintU = static_cast<uint8_t>(96 + (channel * 37) % 64);
    const uint8_t tintV = static_cast<uint8_t>(160 - (channel * 23) % 64);
    for (int row = 0; row < height / 2; ++row) {
        std::memset(u + row * uStride, tintU, static_cast<size_t>(width / 2));
        std::memset(v + row * vStride, tintV, static_cast<size_t>(width / 2));
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof(text), "CH%02d %02d:%02d:%02d", channel + 1, local.tm_hour,
                  local.tm_min, local.tm_sec);
    DrawText(y, yStride, width, height, 8 * scale, 8 * scale, 2 * scale, text);
}

}  // namespace alder
