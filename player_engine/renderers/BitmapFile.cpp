#include "player_engine/renderers/BitmapFile.h"

#include <array>
#include <cstring>

#include "platform/Files.h"

namespace pellix {

namespace {

// Contributions of Y, U and V to red, green and blue, in 1/1024 units, so that a pixel
// costs table reads and additions.
struct ColourTables {
    std::array<int, 256> y;
    std::array<int, 256> v_red;
    std::array<int, 256> v_green;
    std::array<int, 256> u_green;
    std::array<int, 256> u_blue;
    ColourTables() {
        for (int i = 0; i < 256; ++i) {
            y[i] = static_cast<int>(1.164 * (i - 16) * 1024.0);
            v_red[i] = static_cast<int>(1.596 * (i - 128) * 1024.0);
            v_green[i] = static_cast<int>(-0.813 * (i - 128) * 1024.0);
            u_green[i] = static_cast<int>(-0.391 * (i - 128) * 1024.0);
            u_blue[i] = static_cast<int>(2.018 * (i - 128) * 1024.0);
        }
    }
};

const ColourTables& Tables() {
    static const ColourTables tables;
    return tables;
}

uint8_t Clamp(int value_1024) {
    const int value = (value_1024 + 512) >> 10;
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> Yuy2ToBgr24(const uint8_t* picture, int width, int height) {
    const ColourTables& t = Tables();
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3, 0);
    const int pixels = width / 4 * 4;
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = picture + static_cast<size_t>(row) * width * 2;
        uint8_t* out = bgr.data() + static_cast<size_t>(row) * width * 3;
        for (int x = 0; x < pixels; x += 2, in += 4, out += 6) {
            const int u = in[1], v = in[3];
            const int red = t.v_red[v], green = t.v_green[v] + t.u_green[u], blue = t.u_blue[u];
            for (int k = 0; k < 2; ++k) {
                const int luma = t.y[in[k * 2]];
                out[k * 3 + 0] = Clamp(luma + blue);
                out[k * 3 + 1] = Clamp(luma + green);
                out[k * 3 + 2] = Clamp(luma + red);
            }
        }
    }
    return bgr;
}

bool WriteYuy2AsBitmap(const uint8_t* picture, int size, int width, int height, bool flip, const char* file_name) {
    if (picture == nullptr || width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    const size_t row_bytes = static_cast<size_t>(width) * 2;
    if (size < 0 || static_cast<size_t>(size) < row_bytes * height) return false;
    if (file_name == nullptr || file_name[0] == '\0') return true;

    std::vector<uint8_t> copy(row_bytes * height);
    for (int row = 0; row < height; ++row) {
        const int from = flip ? height - 1 - row : row;
        std::memcpy(copy.data() + row_bytes * row, picture + row_bytes * from, row_bytes);
    }
    const std::vector<uint8_t> pixels = Yuy2ToBgr24(copy.data(), width, height);

    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, static_cast<uint32_t>(54 + pixels.size()));
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(width));
    Put32(header + 22, static_cast<uint32_t>(height));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, static_cast<uint32_t>(pixels.size()));

    platform::File file;
    if (!file.Open(file_name, platform::File::Mode::CreateAlways)) return false;
    return file.Write(header, sizeof header) && file.Write(pixels.data(), pixels.size()) && file.Close();
}

}  // namespace pellix
