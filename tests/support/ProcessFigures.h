#pragma once
// What the test process itself uses, for load tests and benchmarks that print their figures.

#include <sys/resource.h>

#include <fstream>
#include <string>

namespace suite::test {

// Resident memory of this process in KiB, -1 when /proc cannot tell.
inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Processor seconds this process has used, user and system.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

}  // namespace suite::test
