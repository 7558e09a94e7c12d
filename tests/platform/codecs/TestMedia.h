#pragma once
// Compressed video made at test time with libavcodec's encoders, and libavcodec's own decode
// of it as the reference the system codecs are held against.

#include <cstdint>
#include <string>
#include <vector>

namespace test_media {

struct EncodedFrame {
    std::vector<std::uint8_t> data;
    bool key = false;
};

struct EncodedStream {
    std::string encoder;  // libavcodec encoder name, e.g. "mpeg4"
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> codecData;  // the encoder's extradata, possibly empty
    std::vector<EncodedFrame> frames;
};

// A moving test picture (gradients, a moving box, a changing noise band) encoded with the
// named encoder at a fixed quantiser, one key frame every gopSize frames, no B-frames.
// codecTag is the FourCC written into the stream's header where the encoder uses one;
// codecFlags are further AV_CODEC_FLAG_ bits for the encoder (interlaced coding, say).
EncodedStream Encode(const std::string& encoder, int width, int height, int frameCount, int gopSize = 12,
                     std::uint32_t codecTag = 0, int quantiser = 3, int codecFlags = 0);

// libavcodec's decode of every frame, each a YV12 picture (Y, V, U; chroma width/2 x
// height/2). A frame that gives no picture yields an empty vector.
std::vector<std::vector<std::uint8_t>> ReferenceDecode(const std::string& decoder, const EncodedStream& stream);

// Peak signal-to-noise ratio in dB over all bytes; 99 when identical.
double Psnr(const std::vector<std::uint8_t>& a, const std::uint8_t* b, std::size_t size);

}  // namespace test_media
