#include "playback_app/remote/Yv12Bitmap.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Files.h"

namespace lumaro {

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  PutU16(out, at, value & 0xFFFF);
  PutU16(out, at + 2, value >> 16);
}

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

bool WriteYv12Bitmap(const unsigned char* picture, int width, int height, const std::string& path) {
  if (!picture || width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
  constexpr std::size_t kHeaderBytes = 54;
  const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  const std::size_t rowBytes = (w * 3 + 3) & ~std::size_t{3};
  const std::size_t chromaWidth = w / 2, chromaHeight = h / 2;
  if (chromaWidth == 0 || chromaHeight == 0) return false;
  std::vector<std::uint8_t> file(kHeaderBytes + rowBytes * h, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, static_cast<std::uint32_t>(file.size()));
  PutU32(file, 10, kHeaderBytes);
  PutU32(file, 14, 40);
  PutU32(file, 18, static_cast<std::uint32_t>(width));
  PutU32(file, 22, static_cast<std::uint32_t>(height));  // positive: rows run bottom-up
  PutU16(file, 26, 1);
  PutU16(file, 28, 24);
  PutU32(file, 34, static_cast<std::uint32_t>(rowBytes * h));

  const unsigned char* luma = picture;
  const unsigned char* planeV = luma + w * h;
  const unsigned char* planeU = planeV + chromaWidth * chromaHeight;
  for (std::size_t y = 0; y < h; ++y) {
    std::uint8_t* out = file.data() + kHeaderBytes + (h - 1 - y) * rowBytes;
    const std::size_t cy = std::min(y / 2, chromaHeight - 1);
    for (std::size_t x = 0; x < w; ++x) {
      const std::size_t cx = std::min(x / 2, chromaWidth - 1);
      // BT.601 studio range, 8-bit fixed point.
      const int c = (luma[y * w + x] - 16) * 298;
      const int d = planeU[cy * chromaWidth + cx] - 128;
      const int e = planeV[cy * chromaWidth + cx] - 128;
      out[x * 3 + 0] = Clamp((c + 516 * d + 128) >> 8);
      out[x * 3 + 1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
      out[x * 3 + 2] = Clamp((c + 409 * e + 128) >> 8);
    }
  }
  platform::File output;
  if (!output.Open(path, platform::File::Mode::CreateAlways)) return false;
  return output.Write(file.data(), file.size()) && output.Close();
}

}  // namespace lumaro
