#include "tests/tools/dvr_sim/DvrSimProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace dvr_sim_test {

std::string BuiltProgram(const std::string& name) {
  const char* build = std::getenv("SUITE_BUILD_DIR");
  return std::string(build && *build ? build : "..") + "/bin/" + name;
}

unsigned int NetworkAddress(const char* dotted) {
  in_addr a{};
  inet_pton(AF_INET, dotted, &a);
  return a.s_addr;
}

bool DvrSimProcess::Start(const std::vector<std::string>& arguments,
                          std::chrono::milliseconds timeout) {
  int pipe_fds[2];
  output_.clear();
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  std::string program = BuiltProgram("dvr_sim");
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv{program.data()};
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // A test process that dies (a failed assertion under a sanitizer aborts it) must not
    // leave its simulator holding the address for the next run.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(pipe_fds[1], 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  output_fd_ = pipe_fds[0];
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find("listening on") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{output_fd_, POLLIN, 0};
    char buffer[512];
    ssize_t got = 0;
    if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0 ||
        (got = read(output_fd_, buffer, sizeof buffer)) <= 0) {
      Stop();
      return false;
    }
    output_.append(buffer, size_t(got));
  }
  return true;
}

void DvrSimProcess::DropConnections() {
  if (pid_ > 0) kill(pid_, SIGUSR1);
}

int DvrSimProcess::Stop() {
  int result = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 50 && (done = waitpid(pid_, &status, WNOHANG)) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (done == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
  }
  if (output_fd_ >= 0) close(output_fd_);
  output_fd_ = -1;
  return result;
}

}  // namespace dvr_sim_test
