#pragma once
// Writes a decoded picture into a caller's buffer in the layout a bitmap header names.
// Internal to the system codecs; one instance per decoding session.

#include <cstddef>
#include <cstdint>

#include "platform/codecs/Vfw.h"

struct AVFrame;
struct SwsContext;

namespace platform {

enum class PictureLayout {
    None,   // not a layout the system codecs write
    YV12,   // planar 4:2:0: Y, then V, then U (each chroma plane width/2 x height/2); full-range
            // pictures (Motion JPEG) keep their range
    I420,   // planar 4:2:0: Y, then U, then V; always limited range, as a renderer expects
    YUY2,   // packed 4:2:2, Y0 U Y1 V, width x 2 bytes per row
    RGB24,  // blue, green, red; rows padded to 4 bytes
    RGB32,  // blue, green, red, unused
};

// The layout named by the header's compression and bit count.
PictureLayout LayoutOfHeader(const BITMAPINFOHEADER& header);

// Bytes one picture of that layout takes; 0 for PictureLayout::None or a bad size.
std::size_t PictureBytes(PictureLayout layout, int width, int height);

class PictureWriter {
public:
    PictureWriter() = default;
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;
    ~PictureWriter();

    // Writes the picture scaled to width x |height| in the layout. RGB layouts run
    // bottom-up when bottomUp is set. The output must hold PictureBytes(layout, ...) bytes.
    bool Write(const AVFrame& picture, PictureLayout layout, int width, int height, bool bottomUp,
               std::uint8_t* output);

private:
    SwsContext* scaler_ = nullptr;  // kept between pictures; rebuilt only when the formats change
};

}  // namespace platform
