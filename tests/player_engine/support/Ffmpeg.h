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
    bool with_audio = true;   // 8000 Hz mono IMA ADPCM
};

// Writes an MPEG-4 AVI tagged XVID; false when ffmpeg is missing or fails.
bool MakeFfmpegAvi(const std::string& path, const FfmpegAvi& options);

// Sizes of the video packets of the first video stream, in file order, as ffprobe reads them.
std::vector<int> ProbeVideoPacketSizes(const std::string& path);

// Output of a shell command; empty when it fails.
std::string RunCommand(const std::string& command);

}  // namespace pellix::test
