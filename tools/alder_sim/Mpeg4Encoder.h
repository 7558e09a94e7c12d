#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace alder {

// MPEG-4 part 2 encoder of one picture size (libavcodec), a key frame every second. Every
// key frame carries the stream headers, so a decoder may start at any of them.
class Mpeg4Encoder {
public:
    Mpeg4Encoder() = default;
    ~Mpeg4Encoder();
    Mpeg4Encoder(const Mpeg4Encoder&) = delete;
    Mpeg4Encoder& operator=(const Mpeg4Encoder&) = delete;

    // False with a message in *error when libavcodec refuses the settings.
    bool Open(int width, int height, int frameRate, std::string* error);
    // The picture to draw the next frame into (planar 4:2:0).
    AVFrame* Picture() { return frame_; }
    // Encodes the drawn picture; forceKey makes it a key frame. False on an encoder error.
    bool Encode(bool forceKey, std::vector<uint8_t>& out, bool& keyFrame);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    void Close();

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t nextPts_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace alder
