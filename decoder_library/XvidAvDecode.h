#pragma once
// XviD streams decoded by libavcodec's MPEG-4 decoder, set up to give the XviD library's own
// pictures: its inverse transform, one thread, full resolution. The luma is deblocked as the
// XviD library's decoder would with the quantisers libavcodec reports for each macroblock, so
// the pictures are byte for byte those of XvidDecode, at a fraction of the cost. Used only
// for streams whose sequence header AvDecodesLikeXvid() accepts.
//
// Not thread-safe: used under the decoding library's decode lock.

#include <cstdint>
#include <vector>

#include "common/LumaDeblock.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class XvidAvDecode {
public:
    XvidAvDecode() = default;
    XvidAvDecode(const XvidAvDecode&) = delete;
    XvidAvDecode& operator=(const XvidAvDecode&) = delete;
    ~XvidAvDecode();

    // Opens the decoder for pictures of width x height; false when libavcodec cannot.
    bool Create(int width, int height);
    bool IsOpen() const { return m_context != nullptr; }

    // Forgets the stream: the next frame must begin it again with its sequence header.
    void Close();

    // As XvidDecode::Decode: 0 when a width x height YV12 picture was written, kNoPicture when
    // the frame gave none or a picture of another size, -100 for a frame that does not
    // decode. timeIncrementBits is that of the stream's sequence header.
    static constexpr int kNoPicture = -1001;
    int Decode(const unsigned char* frame, int length, int timeIncrementBits, unsigned char* picture);

private:
    bool FillPacket(const unsigned char* frame, int length);
    // Deblocks and writes the held picture with the held quantisers.
    int WriteHeldPicture(unsigned char* picture);

    AVCodecContext* m_context = nullptr;
    AVPacket* m_packet = nullptr;  // owns the padded copy of the frame
    AVFrame* m_frame = nullptr;
    // The last picture given out and its macroblock quantisers, kept so that a picture that is
    // not coded repeats it.
    AVFrame* m_held = nullptr;
    bool m_hasHeld = false;
    std::vector<int> m_quants;
    int m_quantStride = 0;
    int m_width = 0;
    int m_height = 0;
    suite::LumaDeblock m_deblock;
};
