#pragma once

#include <string>
#include <vector>

namespace pellix::test {

// Test media made by the ffmpeg command-line tools, as an outside oracle.
struct FfmpegAvi {
    int seconds = 4;
    int fps = 15;
    int width = 352;
    int height = 288;
    int gop = 25;
    bool with_audio = true;   // 8000 Hz mono IMA ADPCM in 256-byte blocks
    double audio_seconds = 0;   // 0: as long as the pictures
    // The lavfi picture source; "life" changes every picture, which tells frames apart.
    std::string source = "testsrc";
    // "xvid" (MPEG-4 tagged XVID), or a network camera's codec: "h264" (libx264, tagged
    // H264), "hevc" (libx265, tagged HEVC), both with their parameter sets before every key
    // frame as cameras send them, or "mjpeg" (tagged MJPG).
    std::string video = "xvid";
    int bframes = 0;  // H.264 and H.265 only
};

// Writes an AVI of `options.video`; false when ffmpeg is missing or fails.
bool MakeFfmpegAvi(const std::string& path, const FfmpegAvi& options);

// Sizes of the video packets of the first video stream, in file order, as ffprobe reads them.
std::vector<int> ProbeVideoPacketSizes(const std::string& path);

// The picture `frame` of the file's first video stream as libavcodec decodes it, converted to
// BGRA by libswscale (width x height x 4 bytes); empty on failure.
std::vector<uint8_t> DecodeFrameBgra(const std::string& path, int frame, int width, int height);

// The file's sound as libavcodec decodes it, 16-bit little-endian PCM; empty on failure.
std::vector<uint8_t> DecodeAudioPcm(const std::string& path);

// Output of a shell command; empty when it fails.
std::string RunCommand(const std::string& command);

}  // namespace pellix::test
