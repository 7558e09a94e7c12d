#pragma once

// What the fault tests share: a small file system of their own that really fills up, the
// recordings and index entries found on a drive, and outside programs as oracles.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fault_test {

// Makes this process's mounts private, so that a file system mounted by a test is seen by
// nobody else and vanishes with the process. Call before the process starts any thread.
// False (and the reason in *why) where the process may not do it.
bool PrivateMounts(std::string* why);

// Mounts a memory file system of `bytes` on `host_folder` (PrivateMounts must have
// succeeded). False with the reason in *why.
bool MountSmallDisk(const std::string& host_folder, std::uint64_t bytes, std::string* why);
void Unmount(const std::string& host_folder);

struct CommandOutput {
  int status = -1;  // exit status; -1 when the command could not run or was killed
  std::string output;
};
// Runs a shell command and collects its standard output.
CommandOutput Run(const std::string& command);
std::string Quoted(const std::string& text);

// Video packets of `host_file` as ffprobe counts them; -1 when ffprobe cannot open the file.
int ProbeVideoPackets(const std::string& host_file);

// Host paths of every ".avi" below `host_folder`, sorted.
std::vector<std::string> AviFilesBelow(const std::string& host_folder);

// Keys of [FileInfo] in every "FileInfo*.ini" below `host_folder` (Windows-form paths of the
// indexed recordings followed by "\<seconds>").
std::vector<std::string> IndexKeysBelow(const std::string& host_folder);

// Runs `body` on its own thread and waits at most `limit` for it; false when it is still
// running then. A body that hangs is left behind with its own copy of what it captured, and
// the test has failed.
bool ReturnsWithin(std::chrono::milliseconds limit, std::function<void()> body);

}  // namespace fault_test
