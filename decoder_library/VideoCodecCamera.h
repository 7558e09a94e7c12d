#pragma once
// H.264, H.265 and Motion JPEG of network cameras through the system's video-compression
// manager (libavcodec underneath), opened by FourCC. Frames are whole Annex B access units
// (parameter sets in band before key frames) or whole JPEG pictures.
//
// Unlike the recorders' MPEG-4, a camera's H.264 or H.265 may carry B-frames: the decoder
// then holds pictures back to put them in display order, and a frame can be accepted without
// giving a picture yet. Decode tells that apart from a failure, so the frame is still
// recorded.

#include "decoder_library/VideoCodecMPEG4.h"

class CVideoCodecCamera : public CVideoCodecMPEG4 {
public:
    // Decode's result for a frame that was accepted but gave no picture yet.
    static constexpr int kNoPictureYet = 2;

    int Decode(const unsigned char* frame, unsigned char* picture, int length, int* pictureLength) override;
};
