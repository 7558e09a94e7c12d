#pragma once

// The recorder simulator as a child process for tests: started with its arguments, ready once
// it prints its listening line, signalled and stopped by its pid.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace dvr_sim_test {

class DvrSimProcess {
 public:
  ~DvrSimProcess() { Stop(); }

  // Starts build/bin/dvr_sim with `arguments` and waits for "listening on"; false when it
  // did not come within `timeout` (the process is then stopped).
  bool Start(const std::vector<std::string>& arguments,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // SIGUSR1: the simulator drops every open connection.
  void DropConnections();
  // SIGTERM, then SIGKILL after 5 s; returns the exit status (-1 if none).
  int Stop();
  pid_t pid() const { return pid_; }
  // Everything the simulator printed on its standard output so far.
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int output_fd_ = -1;
  std::string output_;
};

// Path of a built program (build/bin/<name>).
std::string BuiltProgram(const std::string& name);

// The IPv4 address in network order, as the SDK takes it.
unsigned int NetworkAddress(const char* dotted);

}  // namespace dvr_sim_test
