#pragma once

// The compressed pictures of one stored recording, and their file form: "OCLP", then u32
// width, height, frame rate and frame count, then per frame u32 stamp (ms), u32 size, u8 key
// and the bytes. All integers little-endian.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dvr_sim/Mpeg4Encoder.h"

namespace dvr_sim {

struct ClipFrame {
  uint32_t stamp_ms = 0;
  bool key = false;
  std::vector<uint8_t> data;
};

struct Clip {
  int width = 0;
  int height = 0;
  int frame_rate = 25;
  std::vector<ClipFrame> frames;
  uint32_t duration_ms() const;

  // False when the file is missing, damaged or truncated.
  bool Read(const std::string& path);
  // Writes through a temporary file and a rename, so a reader never sees half a clip.
  bool Write(const std::string& path) const;
};

}  // namespace dvr_sim
