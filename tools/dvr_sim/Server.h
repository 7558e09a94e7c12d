#pragma once

// The simulated recorder: listens on its address, keeps the channel sources and the
// catalogue, and drops connections on request (a signal) or after a set time.

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/dvr_sim/Catalogue.h"
#include "tools/dvr_sim/ChannelSource.h"
#include "tools/dvr_sim/SimOptions.h"

namespace dvr_sim {

class Session;

class Server {
 public:
  explicit Server(const SimOptions& options);
  ~Server();

  // Loads the catalogue, starts the channels and binds the listening socket.
  bool Open();
  // Accepts and serves until `stop` becomes true; sets of `drop_all` drop every connection.
  void Run(const std::atomic<bool>& stop, std::atomic<bool>& drop_all);

  const SimOptions& options() const { return options_; }
  Catalogue& catalogue() { return catalogue_; }
  ChannelSource* channel(int index);  // null outside 0 .. channels-1
  // Appends `line` to the request log, when there is one. Any thread.
  void LogRequest(const std::string& line);

 private:
  void ReapSessions(bool all);

  SimOptions options_;
  Catalogue catalogue_;
  std::vector<std::unique_ptr<ChannelSource>> channels_;
  int listen_fd_ = -1;
  std::mutex log_lock_;
  std::FILE* request_log_ = nullptr;  // guarded by log_lock_
  // Accept thread only.
  std::vector<std::shared_ptr<Session>> sessions_;
};

}  // namespace dvr_sim
