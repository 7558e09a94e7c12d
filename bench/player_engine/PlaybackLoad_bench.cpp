// Sixteen ports playing CIF recordings with sound at once, beside sixteen `ffmpeg -re`
// processes decoding the same file in real time, in the same run: pictures shown per second
// per port and the share of the two cores used. The sound goes to the null device.
// Built, never run by ctest: build/bin/pellix_playback_bench [seconds, default 60] [ports-only]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "player_engine/Pellix.h"

extern "C" {
void* PlatformCreateMemoryWindow(int width, int height);
void PlatformDestroyWindow(void* window);
unsigned int PlatformWindowPresentCount(void* window);
}

namespace {

constexpr int kPorts = 16;
constexpr int kFps = 15;

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string MakeRecording(int seconds) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp ? tmp : "/tmp") + "/pellix-bench";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/cif_" + std::to_string(seconds) + ".avi";
    if (std::filesystem::exists(path)) return path;
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=15 -f lavfi -i "
        "sine=frequency=440:sample_rate=8000 -t " + std::to_string(seconds) +
        " -c:v mpeg4 -vtag XVID -g 25 -q:v 5 -c:a adpcm_ima_wav -block_size 256 -ar 8000 -ac 1 '" + path + "'";
    return std::system(command.c_str()) == 0 ? path : std::string{};
}

struct Result {
    double frames_per_port_second = 0;
    double slowest_port_fps = 0;
    double cpu_share = 0;   // of the machine's cores, 1.0 = all of them
};

Result RunPorts(const std::string& path, int seconds) {
    std::vector<void*> windows;
    for (int port = 0; port < kPorts; ++port) {
        windows.push_back(PlatformCreateMemoryWindow(352, 288));
        if (Pellix_OpenFile(port, path.c_str()) != 1 || Pellix_Play(port, windows.back()) != 1)
            std::fprintf(stderr, "port %d did not play (error %u)\n", port, Pellix_GetLastError(port));
    }
    const double cpu_start = CpuSeconds(RUSAGE_SELF);
    std::vector<unsigned> start_counts;
    for (void* window : windows) start_counts.push_back(PlatformWindowPresentCount(window));
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Result result;
    result.slowest_port_fps = 1e9;
    for (int port = 0; port < kPorts; ++port) {
        const double fps = (PlatformWindowPresentCount(windows[port]) - start_counts[port]) / wall;
        result.frames_per_port_second += fps / kPorts;
        result.slowest_port_fps = std::min(result.slowest_port_fps, fps);
    }
    result.cpu_share = (CpuSeconds(RUSAGE_SELF) - cpu_start) / wall / std::thread::hardware_concurrency();
    for (int port = 0; port < kPorts; ++port) {
        Pellix_Stop(port);
        Pellix_CloseFile(port);
        PlatformDestroyWindow(windows[port]);
    }
    return result;
}

Result RunFfmpeg(const std::string& path, int seconds) {
    const double cpu_start = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int i = 0; i < kPorts; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            const std::string t = std::to_string(seconds);
            execlp("ffmpeg", "ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-i", path.c_str(), "-t", t.c_str(),
                   "-f", "null", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(child);
    }
    for (pid_t child : children) waitpid(child, nullptr, 0);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Result result;
    result.frames_per_port_second = seconds * kFps / wall;   // each process decodes every picture
    result.slowest_port_fps = result.frames_per_port_second;
    result.cpu_share = (CpuSeconds(RUSAGE_CHILDREN) - cpu_start) / wall / std::thread::hardware_concurrency();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    setenv("KORVEL_AUDIO", "null", 0);
    const std::string path = MakeRecording(seconds + 10);
    if (path.empty()) {
        std::fprintf(stderr, "cannot make the recording (ffmpeg missing?)\n");
        return 1;
    }
    const Result ports = RunPorts(path, seconds);
    if (argc > 2 && std::string(argv[2]) == "ports-only") {
        std::printf("Pellix : %6.2f pictures/s per port, CPU %5.1f %%\n", ports.frames_per_port_second,
                    ports.cpu_share * 100);
        return 0;
    }
    const Result ffmpeg = RunFfmpeg(path, seconds);
    std::printf("%d ports x %d s, CIF %d fps with sound, %u cores\n", kPorts, seconds, kFps,
                std::thread::hardware_concurrency());
    std::printf("Pellix : %6.2f pictures/s per port (slowest %6.2f), CPU %5.1f %%\n", ports.frames_per_port_second,
                ports.slowest_port_fps, ports.cpu_share * 100);
    std::printf("ffmpeg : %6.2f pictures/s per process,               CPU %5.1f %%\n", ffmpeg.frames_per_port_second,
                ffmpeg.cpu_share * 100);
    std::printf("ratio  : pictures %.3f, CPU %.3f (Pellix / ffmpeg)\n",
                ports.frames_per_port_second / ffmpeg.frames_per_port_second,
                ffmpeg.cpu_share > 0 ? ports.cpu_share / ffmpeg.cpu_share : 0.0);
    return 0;
}
