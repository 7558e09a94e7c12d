#pragma once
// XviD streams decoded by libavcodec's MPEG-4 decoder, set up to give the XviD library's own
// pictures: its inverse transform, bit-exact prediction, one thread, full resolution. The luma
// is deblocked as the XviD library's decoder would, with the quantisers libavcodec reports
// for each macroblock, so the pictures are byte for byte the XviD library's deblocked ones, at
// a fraction of the cost. Used only for streams whose sequence header AvDecodesLikeXvid()
// accepts. Shared by the decoding library (YV12 pictures) and the player engine (YUY2).
//
// Not thread-safe: one instance per decoder, used by the thread that decodes.

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

    // Decodes one frame. On Picture, the picture (width x height, of the size given to
    // Create) is held until the next call; a picture that is not coded holds the last one
    // again, as the XviD library gives it. timeIncrementBits is that of the stream's sequence
    // header.
    enum class Result { Picture, NoPicture, Error };
    Result Decode(const unsigned char* frame, int length, int timeIncrementBits);

    // The held picture, deblocked: YV12 (Y, then V, then U at half the width and height), or
    // YUY2 rows `stride` bytes apart (an even width only).
    void WriteYv12(unsigned char* picture);
    void PackYuy2(unsigned char* picture, int stride);

private:
    bool FillPacket(const unsigned char* frame, int length);
    suite::LumaDeblock::Planes HeldPlanes() const;

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
