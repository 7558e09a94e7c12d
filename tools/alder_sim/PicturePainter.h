#pragma once

#include <cstdint>

namespace alder {

// Where the camera of a channel points; changed by PTZ requests.
struct CameraPose {
    int panX = 0;
    int panY = 0;
    int squareSize = 32;   // pixels per square of the pattern at 352 wide; zoom changes it
};

// Draws one planar 4:2:0 picture of a channel: a checkerboard moving with time, shifted by
// the camera's pan, a channel-tinted colour and the channel number and wall clock burned in.
class PicturePainter {
public:
    static void Paint(uint8_t* y, int yStride, uint8_t* u, int uStride, uint8_t* v, int vStride,
                      int width, int height, int channel, int64_t frameIndex,
                      const CameraPose& pose);
};

}  // namespace alder
