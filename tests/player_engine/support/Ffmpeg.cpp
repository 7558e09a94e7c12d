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
    command << "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=" << o.width << "x" << o.height
            << ":rate=" << o.fps;
    if (o.with_audio) command << " -f lavfi -i sine=frequency=440:sample_rate=8000";
    command << " -t " << o.seconds << " -c:v mpeg4 -vtag XVID -g " << o.gop << " -q:v 5";
    if (o.with_audio) command << " -c:a adpcm_ima_wav -ar 8000 -ac 1";
    command << " '" << path << "' && echo ok";
    return RunCommand(command.str()).find("ok") != std::string::npos;
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
