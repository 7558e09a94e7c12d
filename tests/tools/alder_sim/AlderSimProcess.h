#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A simulator as a child process (the recorder simulator unless another program of build/bin
// is named): started with arguments, commanded through its standard input, its event lines
// collected from its standard output, and killed by pid.
class AlderSimProcess {
public:
    explicit AlderSimProcess(std::string program = "alder_sim") : program_(std::move(program)) {}
    ~AlderSimProcess() { Stop(); }

    // Starts build/bin/<program> and waits for its ready line; false if it never came.
    bool Start(const std::vector<std::string>& arguments,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void Command(const std::string& line);
    // Waits until an event line containing text has been printed; true if it was.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout);
    // Event lines printed so far that contain text.
    int CountLines(const std::string& text);
    // The last event line printed so far that contains text; empty when there is none.
    std::string LastLine(const std::string& text);
    // Sends a signal to the running simulator (SIGSTOP freezes it as a stalled device).
    void Signal(int number);
    void Stop();

private:
    void ReadOutput(int fd);

    const std::string program_;
    pid_t pid_ = -1;
    int input_ = -1;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;  // Guarded by lock_
};

// Path of a built program (build/bin/<name>), from SUITE_BUILD_DIR or the test folder.
std::string ProgramPath(const std::string& name);

}  // namespace testsupport
