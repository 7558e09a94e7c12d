#pragma once

// A 5 x 7 pixel font for the simulator's on-picture texts (digits, a few letters and signs).

#include <cstdint>
#include <string_view>

namespace dvr_sim {

// Writes `text` into an 8-bit plane at (x, y), each font pixel a `scale` x `scale` square of
// `value`, on a box of `background` one font pixel wide around the text. Characters the
// font lacks are left blank; everything outside the plane is clipped.
void DrawText(uint8_t* plane, int stride, int width, int height, int x, int y, int scale,
              std::string_view text, uint8_t value, uint8_t background);

// Width in plane pixels that DrawText uses for `characters` characters at `scale`.
int TextWidth(int characters, int scale);

}  // namespace dvr_sim
