#pragma once
// Runs an outside program (ffprobe, ffmpeg) through the shell for tests that use it as an
// oracle on files the library wrote.

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace halvane_test {

struct CommandOutput {
    int status = -1;     // exit status, -1 when the command could not run
    std::string output;  // standard output
};

inline CommandOutput RunCommand(const std::string& command)
{
    CommandOutput result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A host path quoted for the shell.
inline std::string Quoted(const std::string& path)
{
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace halvane_test
