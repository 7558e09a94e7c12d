#pragma once
// Which libavcodec decoder serves a compressed-video FourCC. Shared by the video-compression
// manager and the media objects; internal to the system codecs.

#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace platform {

// The FourCC with its letters in capitals, so "xvid" and "XVID" name the same decoder.
std::uint32_t UpperFourCC(std::uint32_t fourcc);

// AV_CODEC_ID_NONE when no decoder serves the FourCC.
AVCodecID DecoderForFourCC(std::uint32_t fourcc);

}  // namespace platform
