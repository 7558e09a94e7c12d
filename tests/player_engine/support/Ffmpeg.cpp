#include "tests/player_engine/support/Ffmpeg.h"

#include <cstdio>
#include <sstream>

namespace pellix::test {

std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    if (pclose(pipe) != 0) output.clear();
    return output;
}

bool MakeFfmpegAvi(const std::string& path, const FfmpegAvi& o) {
    std::ostringstream command;
    command << "ffmpeg -nostdin -loglevel error -y -f lavfi -i " << o.source << "=size=" << o.width << "x" << o.height
            << ":rate=" << o.fps;
    if (o.with_audio) {
        command << " -f lavfi -i sine=frequency=440:sample_rate=8000";
        if (o.audio_seconds > 0) command << ":duration=" << o.audio_seconds;
    }
    command << " -t " << o.seconds;
    if (o.video == "h264")
        command << " -c:v libx264 -preset veryfast -bf " << o.bframes
                << " -x264-params repeat-headers=1 -pix_fmt yuv420p -vtag H264 -g " << o.gop << " -keyint_min "
                << o.gop << " -sc_threshold 0";
    else if (o.video == "hevc")
        command << " -c:v libx265 -preset ultrafast -pix_fmt yuv420p -vtag HEVC -x265-params log-level=error:bframes="
                << o.bframes << ":repeat-headers=1:keyint=" << o.gop << ":min-keyint=" << o.gop
                << ":scenecut=0:open-gop=0";
    else if (o.video == "mjpeg")
        command << " -c:v mjpeg -pix_fmt yuvj420p -q:v 4 -vtag MJPG";
    else
        command << " -c:v mpeg4 -vtag XVID -g " << o.gop << " -q:v 5 -sc_threshold 1000000000";
    if (o.with_audio) command << " -c:a adpcm_ima_wav -block_size 256 -ar 8000 -ac 1";
    command << " '" << path << "' && echo ok";
    return RunCommand(command.str()).find("ok") != std::string::npos;
}

std::vector<uint8_t> DecodeFrameBgra(const std::string& path, int frame, int width, int height) {
    std::ostringstream command;
    command << "ffmpeg -nostdin -loglevel error -i '" << path << "' -vf 'select=eq(n\\," << frame << "),scale=" << width
            << ":" << height << "' -frames:v 1 -f rawvideo -pix_fmt bgra -";
    const std::string output = RunCommand(command.str());
    if (output.size() != static_cast<size_t>(width) * height * 4) return {};
    return std::vector<uint8_t>(output.begin(), output.end());
}

std::vector<uint8_t> DecodeAudioPcm(const std::string& path) {
    const std::string output = RunCommand("ffmpeg -nostdin -loglevel error -i '" + path + "' -f s16le -acodec pcm_s16le -");
    return std::vector<uint8_t>(output.begin(), output.end());
}

std::vector<int> ProbeVideoPacketSizes(const std::string& path) {
    const std::string output = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 '" +
                                          path + "'");
    std::vector<int> sizes;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) sizes.push_back(std::stoi(line));
    return sizes;
}

}  // namespace pellix::test
