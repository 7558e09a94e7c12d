#include "tools/dvr_sim/Clip.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "device_sdk/Orvane/OrvaneProtocol.h"

namespace dvr_sim {

namespace {
constexpr uint32_t kClipMagic = 0x504C434Fu;  // "OCLP"
constexpr uint32_t kMaxFrames = 100000;
constexpr uint32_t kMaxFrameBytes = 4u << 20;
}  // namespace

uint32_t Clip::duration_ms() const {
  return frames.empty() ? 0 : frames.back().stamp_ms + uint32_t(1000 / std::max(1, frame_rate));
}

bool Clip::Read(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return false;
  auto u32 = [&](uint32_t& v) {
    uint8_t b[4];
    if (std::fread(b, 1, 4, f.get()) != 4) return false;
    v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
  };
  uint32_t magic = 0, w = 0, h = 0, rate = 0, count = 0;
  if (!u32(magic) || magic != kClipMagic || !u32(w) || !u32(h) || !u32(rate) || !u32(count))
    return false;
  if (w == 0 || h == 0 || w > 4096 || h > 4096 || rate == 0 || rate > 100 || count > kMaxFrames)
    return false;
  width = int(w);
  height = int(h);
  frame_rate = int(rate);
  frames.clear();
  frames.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    ClipFrame frame;
    uint32_t size = 0;
    uint8_t key = 0;
    if (!u32(frame.stamp_ms) || !u32(size) || size > kMaxFrameBytes ||
        std::fread(&key, 1, 1, f.get()) != 1)
      return false;
    frame.key = key != 0;
    frame.data.resize(size);
    if (size && std::fread(frame.data.data(), 1, size, f.get()) != size) return false;
    frames.push_back(std::move(frame));
  }
  return true;
}

bool Clip::Write(const std::string& path) const {
  std::vector<uint8_t> out;
  using orvane::wire::PutU32;
  PutU32(out, kClipMagic);
  PutU32(out, uint32_t(width));
  PutU32(out, uint32_t(height));
  PutU32(out, uint32_t(frame_rate));
  PutU32(out, uint32_t(frames.size()));
  for (const ClipFrame& frame : frames) {
    PutU32(out, frame.stamp_ms);
    PutU32(out, uint32_t(frame.data.size()));
    out.push_back(frame.key ? 1 : 0);
    out.insert(out.end(), frame.data.begin(), frame.data.end());
  }
  const std::string temporary = path + ".part";
  FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

}  // namespace dvr_sim
