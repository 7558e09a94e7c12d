#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

std::string ProgramPath(const std::string& name)
{
    const char* build = std::getenv("SUITE_BUILD_DIR");
    return std::string(build && *build ? build : "..") + "/bin/" + name;
}

bool AlderSimProcess::Start(const std::vector<std::string>& arguments,
                            std::chrono::milliseconds timeout)
{
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        return false;
    std::string program = ProgramPath(program_);
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies (a failed assertion under a sanitizer aborts it) must not leave
        // its simulator holding the address for the next run.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    int output = fromChild[0];
    reader_ = std::thread([this, output] { ReadOutput(output); });
    return pid_ > 0 && WaitForLine("ready", timeout);
}

void AlderSimProcess::ReadOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof(buffer))) > 0) {
        pending.append(buffer, static_cast<size_t>(got));
        std::string::size_type end;
        std::lock_guard<std::mutex> guard(lock_);
        while ((end = pending.find('\n')) != std::string::npos) {
            lines_.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    close(fd);
}

void AlderSimProcess::Command(const std::string& line)
{
    std::string text = line + "\n";
    if (input_ >= 0 && write(input_, text.data(), text.size()) < 0)
        return;
}

int AlderSimProcess::CountLines(const std::string& text)
{
    std::lock_guard<std::mutex> guard(lock_);
    int count = 0;
    for (const auto& line : lines_)
        if (line.find(text) != std::string::npos)
            ++count;
    return count;
}

std::string AlderSimProcess::LastLine(const std::string& text)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->find(text) != std::string::npos)
            return *line;
    return {};
}

bool AlderSimProcess::WaitForLine(const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, timeout, [&] {
        for (const auto& line : lines_)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    });
}

void AlderSimProcess::Signal(int number)
{
    if (pid_ > 0)
        kill(pid_, number);
}

void AlderSimProcess::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGCONT);  // a frozen simulator must still hear the stop
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            usleep(100 * 1000);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (input_ >= 0)
        close(input_);
    input_ = -1;
    if (reader_.joinable())
        reader_.join();
}

}  // namespace testsupport
