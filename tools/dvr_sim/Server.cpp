#include "tools/dvr_sim/Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/dvr_sim/Session.h"

namespace dvr_sim {

Server::Server(const SimOptions& options) : options_(options) {}

Server::~Server() {
  ReapSessions(true);
  for (auto& c : channels_) c->Stop();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (request_log_) std::fclose(request_log_);
}

void Server::LogRequest(const std::string& line) {
  std::lock_guard<std::mutex> guard(log_lock_);
  if (!request_log_) return;
  std::fprintf(request_log_, "%s\n", line.c_str());
  std::fflush(request_log_);
}

ChannelSource* Server::channel(int index) {
  return index >= 0 && index < int(channels_.size()) ? channels_[size_t(index)].get() : nullptr;
}

bool Server::Open() {
  if (!catalogue_.Load(options_.catalogue_folder, options_.channels())) return false;
  if (!options_.request_log.empty() && !(request_log_ = std::fopen(options_.request_log.c_str(), "a"))) {
    std::fprintf(stderr, "dvr_sim: cannot write %s\n", options_.request_log.c_str());
    return false;
  }
  for (int c = 0; c < options_.channels(); ++c) {
    channels_.push_back(std::make_unique<ChannelSource>(c, options_));
    if (!channels_.back()->Start()) return false;
  }
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return false;
  int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(options_.port));
  if (::inet_pton(AF_INET, options_.listen_address.c_str(), &address.sin_addr) != 1) {
    std::fprintf(stderr, "dvr_sim: not an IPv4 address: %s\n", options_.listen_address.c_str());
    return false;
  }
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 64) != 0) {
    std::fprintf(stderr, "dvr_sim: cannot listen on %s:%d: %s\n",
                 options_.listen_address.c_str(), options_.port, std::strerror(errno));
    return false;
  }
  std::printf("dvr_sim: listening on %s:%d, kind %d, %d channels, %dx%d\n",
              options_.listen_address.c_str(), options_.port, options_.device_kind,
              options_.channels(), options_.width, options_.height);
  std::fflush(stdout);
  return true;
}

void Server::ReapSessions(bool all) {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (all) (*it)->Drop();
    if (all || (*it)->finished()) {
      (*it)->Join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::Run(const std::atomic<bool>& stop, std::atomic<bool>& drop_all) {
  while (!stop) {
    pollfd p{listen_fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, 50);
    if (ready > 0) {
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto session = std::make_shared<Session>(fd, *this);
        session->Start();
        sessions_.push_back(std::move(session));
      }
    }
    if (drop_all.exchange(false)) {
      std::printf("dvr_sim: dropping %zu connection(s)\n", sessions_.size());
      std::fflush(stdout);
      for (auto& s : sessions_) s->Drop();
    }
    if (options_.drop_after_seconds > 0) {
      const auto now = std::chrono::steady_clock::now();
      const auto limit = std::chrono::milliseconds(int64_t(options_.drop_after_seconds * 1000));
      for (auto& s : sessions_) {
        auto login = s->login_time();
        if (login.time_since_epoch().count() != 0 && now - login >= limit) s->Drop();
      }
    }
    ReapSessions(false);
  }
}

}  // namespace dvr_sim
