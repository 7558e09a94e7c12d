#include "tests/fault/FaultyLink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace fault_test {

struct FaultyLink::Connection {
  int client = -1;
  int device = -1;
  ~Connection() {
    if (client >= 0) ::close(client);
    if (device >= 0) ::close(device);
  }
};

namespace {

sockaddr_in Address(const std::string& dotted, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  ::inet_pton(AF_INET, dotted.c_str(), &address.sin_addr);
  return address;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

FaultyLink::FaultyLink(const std::string& address, const std::string& device_address,
                       const std::vector<std::uint16_t>& ports)
    : device_address_(device_address) {
  ok_ = true;
  for (std::uint16_t port : ports) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in local = Address(address, port);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(listener, 16) != 0) {
      ok_ = false;
    }
    listeners_.push_back(listener);
    std::lock_guard<std::mutex> guard(lock_);
    threads_.emplace_back([this, listener, port] { Accept(listener, port); });
  }
}

FaultyLink::~FaultyLink() {
  stop_ = true;
  for (int listener : listeners_) ::shutdown(listener, SHUT_RDWR);
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> guard(lock_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
  // Threads started while joining (none once the listeners are shut down).
  std::lock_guard<std::mutex> guard(lock_);
  for (std::thread& thread : threads_) thread.join();
  for (int listener : listeners_) ::close(listener);
}

void FaultyLink::Pass() { mode_ = Mode::Pass; }

void FaultyLink::CutAfter(std::int64_t bytes) {
  cut_budget_ = bytes;
  ++generation_;
  mode_ = Mode::Cut;
}

void FaultyLink::Stall() { mode_ = Mode::Stall; }

void FaultyLink::Accept(int listener, std::uint16_t port) {
  while (!stop_) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 100) <= 0) continue;
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    auto connection = std::make_shared<Connection>();
    connection->client = client;
    connection->device = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in device = Address(device_address_, port);
    if (::connect(connection->device, reinterpret_cast<sockaddr*>(&device), sizeof device) != 0) continue;
    std::lock_guard<std::mutex> guard(lock_);
    if (stop_) break;
    threads_.emplace_back([this, connection] { Carry(connection); });
  }
}

void FaultyLink::Carry(std::shared_ptr<Connection> connection) {
  int generation = -1;
  std::int64_t budget = 0;
  char buffer[16384];
  while (!stop_) {
    const Mode mode = mode_.load();
    if (mode == Mode::Stall) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (mode == Mode::Cut && generation != generation_.load()) {
      generation = generation_.load();
      budget = cut_budget_.load();
    }
    pollfd ends[2] = {{connection->client, POLLIN, 0}, {connection->device, POLLIN, 0}};
    if (::poll(ends, 2, 20) <= 0) continue;
    if (ends[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t got = ::recv(connection->client, buffer, sizeof buffer, 0);
      if (got <= 0 || !SendAll(connection->device, buffer, static_cast<std::size_t>(got))) return;
    }
    if (ends[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      if (mode_.load() == Mode::Stall) continue;
      std::size_t want = sizeof buffer;
      if (mode == Mode::Cut) want = static_cast<std::size_t>(std::min<std::int64_t>(budget, sizeof buffer));
      if (want > 0) {
        const ssize_t got = ::recv(connection->device, buffer, want, 0);
        if (got <= 0 || !SendAll(connection->client, buffer, static_cast<std::size_t>(got))) return;
        device_bytes_ += got;
        if (mode == Mode::Cut) budget -= got;
      }
      if (mode == Mode::Cut && budget <= 0) {
        // Hang up on the client with the device's message half sent.
        ++cuts_;
        ::shutdown(connection->client, SHUT_RDWR);
        ::shutdown(connection->device, SHUT_RDWR);
        return;
      }
    }
  }
}

}  // namespace fault_test
