#pragma once
// What an XviD frame says about its stream before anything is decoded: the sequence header
// (video object layer) it may begin with, and whether its picture is coded at all. The XviD
// codec reads it to choose which decoder gives the stream's pictures.

#include <cstddef>
#include <cstdint>

struct XvidSequenceHeader {
    bool rectangular = false;   // a plain rectangular picture (no shape coding)
    bool chroma420 = true;
    bool lowDelay = false;      // said so by the stream: no pictures predicted from both sides
    bool eightBit = true;
    bool interlaced = false;
    bool sprite = false;        // global motion compensation or sprites
    bool quarterPel = false;
    bool mpegQuant = false;
    bool complexityEstimation = false;
    bool dataPartitioned = false;
    bool newPrediction = false;
    bool reducedResolution = false;
    bool scalable = false;
    int width = 0;
    int height = 0;
    int timeIncrementBits = 1;  // length of a picture header's time increment
};

// Finds the first sequence header before the frame's first picture header and reads it.
// Returns false when there is none or it ends early or breaks its own rules.
bool ReadXvidSequenceHeader(const std::uint8_t* frame, std::size_t length, XvidSequenceHeader& header);

// True when the frame's first picture header says the picture is not coded: the decoder then
// repeats its last picture. timeIncrementBits comes from the stream's sequence header.
bool IsUncodedXvidPicture(const std::uint8_t* frame, std::size_t length, int timeIncrementBits);

// True when libavcodec's MPEG-4 decoder gives, for a stream with this header, pictures equal
// byte for byte to the XviD library's.
bool AvDecodesLikeXvid(const XvidSequenceHeader& header);
