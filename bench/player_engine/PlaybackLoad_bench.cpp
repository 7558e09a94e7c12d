// Sixteen ports playing CIF recordings with sound at once, beside sixteen real-time ffmpeg
// processes playing the same file, in the same run: pictures shown per second per port and
// the share of the machine's cores used, measured as CPU time of the processes (not wall
// time) over the same steady window once everything has started.
//
// Each side does this per picture:
//   Pellix      XviD decode, luma deblocking with the stream's quantisers, YUY2 packing,
//               BGRA conversion for the window, copy into a 352 x 288 memory window;
//               sound: IMA ADPCM decode into the null sound device.
//   ffmpeg      `ffmpeg -re -i X -f null -`, the peer the goal names: MPEG-4 decode to
//   (decode)    planar 4:2:0 and nothing else (no deblocking, no colour conversion, the
//               picture is dropped); sound decoded to PCM and dropped.
//   ffmpeg      the same plus what a player does with the picture: luma deblocking with the
//   (display)   stream's quantisers (libpostproc hb/vb, luma only; a different filter of the
//               same kind, not the same bytes) and conversion to BGRA at the window's size.
//
// With a third argument "h264" the recordings are a network camera's sub-stream instead:
// 640 x 360 H.264 at 25 pictures/s (parameter sets before every key frame, no B-frames) with
// IMA ADPCM sound, as the live client records them; the display peer then only converts.
//
// Built, never run by ctest:
//   build/bin/pellix_playback_bench [seconds, default 60] [both|ports-only|peers-only] [xvid|h264]

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
// The recording's picture: CIF XviD at 15 pictures/s, or the camera sub-stream.
bool g_h264 = false;
int g_width = 352, g_height = 288, g_fps = 15;
// Both sides play this long before the measured window starts.
constexpr auto kWarmUp = std::chrono::seconds(3);

using Clock = std::chrono::steady_clock;

double SelfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system time of a running process, all its threads.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t name_end = text.rfind(')');
    if (name_end == std::string::npos) return 0;
    std::istringstream fields(text.substr(name_end + 2));
    std::string field;
    double ticks = 0;
    // Fields 14 and 15 (utime, stime) counted from the state field, which is field 3.
    for (int index = 3; index <= 15 && fields >> field; ++index)
        if (index >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Busy and total time of the whole machine, to tell how loaded it was while measuring.
struct MachineTime {
    double busy = 0, total = 0;
};
MachineTime ReadMachineTime() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    MachineTime time;
    time.busy = user + nice + system + irq + softirq + steal;
    time.total = time.busy + idle + iowait;
    return time;
}
std::string LoadAverage() {
    std::ifstream load("/proc/loadavg");
    std::string one, five;
    load >> one >> five;
    return one + " / " + five;
}

std::string MakeRecording(int seconds) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp ? tmp : "/tmp") + "/pellix-bench";
    std::filesystem::create_directories(folder);
    const std::string path = folder + (g_h264 ? "/h264_" : "/cif_") + std::to_string(seconds) + ".avi";
    if (std::filesystem::exists(path)) return path;
    const std::string video =
        g_h264 ? " -c:v libx264 -preset veryfast -bf 0 -x264-params repeat-headers=1 -pix_fmt yuv420p -vtag H264 "
                 "-g 50 -b:v 600k"
               : " -c:v mpeg4 -vtag XVID -g 25 -q:v 5";
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=" + std::to_string(g_width) + "x" +
        std::to_string(g_height) + ":rate=" + std::to_string(g_fps) +
        " -f lavfi -i sine=frequency=440:sample_rate=8000 -t " + std::to_string(seconds) + video +
        " -c:a adpcm_ima_wav -block_size 256 -ar 8000 -ac 1 '" + path + "'";
    return std::system(command.c_str()) == 0 ? path : std::string{};
}

struct Result {
    double frames_per_port_second = 0;
    double slowest_port_fps = 1e9;
    double cpu_share = 0;       // of the machine's cores, 1.0 = all of them
    double machine_busy = 0;    // share of the machine busy meanwhile, everyone's work included
    std::string load;           // load average at the end of the window
};

// Samples the side's counters, waits out the window, samples them again, and notes how busy
// the machine was meanwhile.
template <typename Start, typename End>
void MeasureWindow(int seconds, Result& result, Start sample_start, End sample_end) {
    const MachineTime machine_start = ReadMachineTime();
    sample_start();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    sample_end();
    const MachineTime machine_end = ReadMachineTime();
    result.machine_busy = (machine_end.busy - machine_start.busy) / std::max(1.0, machine_end.total - machine_start.total);
    result.load = LoadAverage();
}

Result RunPorts(const std::string& path, int seconds) {
    std::vector<void*> windows;
    for (int port = 0; port < kPorts; ++port) {
        windows.push_back(PlatformCreateMemoryWindow(g_width, g_height));
        if (Pellix_OpenFile(port, path.c_str()) != 1 || Pellix_Play(port, windows.back()) != 1)
            std::fprintf(stderr, "port %d did not play (error %u)\n", port, Pellix_GetLastError(port));
    }
    std::this_thread::sleep_for(kWarmUp);
    Result result;
    double cpu_start = 0;
    std::vector<unsigned> start_counts;
    Clock::time_point start;
    double wall = 0;
    std::vector<unsigned> end_counts;
    MeasureWindow(
        seconds, result,
        [&] {
            cpu_start = SelfCpuSeconds();
            for (void* window : windows) start_counts.push_back(PlatformWindowPresentCount(window));
            start = Clock::now();
        },
        [&] {
            wall = std::chrono::duration<double>(Clock::now() - start).count();
            for (void* window : windows) end_counts.push_back(PlatformWindowPresentCount(window));
            result.cpu_share = (SelfCpuSeconds() - cpu_start) / wall / std::thread::hardware_concurrency();
        });
    for (int port = 0; port < kPorts; ++port) {
        const double fps = (end_counts[port] - start_counts[port]) / wall;
        result.frames_per_port_second += fps / kPorts;
        result.slowest_port_fps = std::min(result.slowest_port_fps, fps);
        Pellix_Stop(port);
        Pellix_CloseFile(port);
        PlatformDestroyWindow(windows[port]);
    }
    return result;
}

// The last "frame=" an ffmpeg progress file reports.
long ProgressFrames(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    long frames = 0;
    while (std::getline(in, line))
        if (line.rfind("frame=", 0) == 0) frames = std::atol(line.c_str() + 6);
    return frames;
}

Result RunFfmpeg(const std::string& path, int seconds, const std::vector<std::string>& filter) {
    const std::string folder = std::filesystem::path(path).parent_path();
    std::vector<pid_t> children;
    std::vector<std::string> progress;
    for (int i = 0; i < kPorts; ++i) {
        progress.push_back(folder + "/progress_" + std::to_string(i) + ".txt");
        std::filesystem::remove(progress.back());
        const pid_t child = fork();
        if (child == 0) {
            std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-loglevel", "error", "-progress",
                                                  progress.back(), "-re"};
            if (!filter.empty()) arguments.insert(arguments.end(), {"-export_side_data", "venc_params"});
            arguments.insert(arguments.end(), {"-i", path});
            arguments.insert(arguments.end(), filter.begin(), filter.end());
            arguments.insert(arguments.end(), {"-f", "null", "-"});
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execvp("ffmpeg", argv.data());
            _exit(127);
        }
        children.push_back(child);
    }
    std::this_thread::sleep_for(kWarmUp);
    Result result;
    std::vector<double> cpu_start(kPorts), cpu_end(kPorts);
    std::vector<long> frames_start(kPorts), frames_end(kPorts);
    Clock::time_point start;
    double wall = 0;
    MeasureWindow(
        seconds, result,
        [&] {
            start = Clock::now();
            for (int i = 0; i < kPorts; ++i) {
                cpu_start[i] = ProcessCpuSeconds(children[i]);
                frames_start[i] = ProgressFrames(progress[i]);
            }
        },
        [&] {
            wall = std::chrono::duration<double>(Clock::now() - start).count();
            for (int i = 0; i < kPorts; ++i) {
                cpu_end[i] = ProcessCpuSeconds(children[i]);
                frames_end[i] = ProgressFrames(progress[i]);
            }
        });
    double cpu = 0;
    for (int i = 0; i < kPorts; ++i) {
        cpu += cpu_end[i] - cpu_start[i];
        // Progress is written twice a second: the rate is good to about one picture a second.
        const double fps = (frames_end[i] - frames_start[i]) / wall;
        result.frames_per_port_second += fps / kPorts;
        result.slowest_port_fps = std::min(result.slowest_port_fps, fps);
        kill(children[i], SIGTERM);
    }
    for (pid_t child : children) waitpid(child, nullptr, 0);
    result.cpu_share = cpu / wall / std::thread::hardware_concurrency();
    return result;
}

void Print(const char* name, const Result& result) {
    std::printf("%-17s %6.2f pictures/s per port (slowest %6.2f), CPU %5.1f %%   machine busy %3.0f %%, load %s\n",
                name, result.frames_per_port_second, result.slowest_port_fps, result.cpu_share * 100,
                result.machine_busy * 100, result.load.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    if (argc > 3 && std::string(argv[3]) == "h264") {
        g_h264 = true;
        g_width = 640;
        g_height = 360;
        g_fps = 25;
    }
    setenv("KORVEL_AUDIO", "null", 0);
    // The recording outlasts the warm-up and the window, so nobody reaches its end.
    const std::string path = MakeRecording(seconds + 20);
    if (path.empty()) {
        std::fprintf(stderr, "cannot make the recording (ffmpeg missing?)\n");
        return 1;
    }
    std::printf("%d ports x %d s (after %lld s warm-up), %s %dx%d %d fps with sound, %u cores\n", kPorts, seconds,
                static_cast<long long>(kWarmUp.count()), g_h264 ? "H.264" : "XviD", g_width, g_height, g_fps,
                std::thread::hardware_concurrency());
    std::fflush(stdout);
    const std::string only = argc > 2 ? argv[2] : "";
    Result ports;
    if (only != "peers-only") {
        ports = RunPorts(path, seconds);
        Print("Pellix", ports);
        if (only == "ports-only") return 0;
    }
    std::fflush(stdout);
    const Result decode = RunFfmpeg(path, seconds, {});
    Print("ffmpeg (decode)", decode);
    std::fflush(stdout);
    const std::string size = std::to_string(g_width) + ":" + std::to_string(g_height);
    const Result display = RunFfmpeg(path, seconds,
                                     {"-vf", g_h264 ? "scale=" + size + ",format=bgra"
                                                    : "pp=hb|y/vb|y,scale=" + size + ",format=bgra"});
    Print("ffmpeg (display)", display);
    if (only == "peers-only") return 0;
    std::printf("ratio Pellix / ffmpeg (decode) : pictures %.3f, CPU %.3f\n",
                ports.frames_per_port_second / decode.frames_per_port_second,
                decode.cpu_share > 0 ? ports.cpu_share / decode.cpu_share : 0.0);
    std::printf("ratio Pellix / ffmpeg (display): pictures %.3f, CPU %.3f\n",
                ports.frames_per_port_second / display.frames_per_port_second,
                display.cpu_share > 0 ? ports.cpu_share / display.cpu_share : 0.0);
    return 0;
}
