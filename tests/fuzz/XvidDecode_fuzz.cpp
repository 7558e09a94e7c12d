// XviD frames through DEC_DecodeData: any bytes as a run of frames for an entry set to a size
// taken from the input, decoded into a picture buffer of exactly that size (the sanitizers
// catch any write past it). The frames' sequence headers choose between libavcodec and the
// XviD library, and may change the choice or the picture size from frame to frame.
//
// Input: u8 size selector, then frames, each a u16 little-endian length and that many bytes
// (the last may be shorter).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder_library/Halvane.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{64, 48}, {176, 144}, {66, 50}, {352, 288}};
constexpr int kXvid = 3;  // DecoderFormat.compressor of XviD

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool loaded = DEC_LoadLibrary() != 0;
  FUZZ_CHECK(loaded);
  if (size < 1) return 0;
  const Size picture = kSizes[data[0] % 4];
  const int entry = DEC_CreateVideoDecoder(0);
  FUZZ_CHECK(entry >= 0);
  const DecoderFormat format{picture.width, picture.height, kXvid};
  FUZZ_CHECK(DEC_SetDecoderFMT(entry, 0, &format) == 1);
  std::vector<unsigned char> output(static_cast<size_t>(picture.width) * picture.height * 3 / 2);
  size_t at = 1;
  while (at + 2 <= size) {
    const size_t length = data[at] | (data[at + 1] << 8);
    at += 2;
    const size_t taken = length < size - at ? length : size - at;
    // The frame is copied so that a read past its end is one past a heap block of its size.
    std::vector<unsigned char> frame(data + at, data + at + taken);
    int pictureLength = -1;
    DEC_DecodeData(entry, frame.empty() ? nullptr : frame.data(), output.data(),
                   static_cast<int>(frame.size()), &pictureLength, 0, 0);
    FUZZ_CHECK(pictureLength <= static_cast<int>(output.size()));
    at += taken;
  }
  FUZZ_CHECK(DEC_DestroyVideoDecoder(entry) == 1);
  return 0;
}
