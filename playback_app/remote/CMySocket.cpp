#include "playback_app/remote/CMySocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "common/TraceMessage.h"

// There is no socket service in platform/; the wrapper is the playback program's only use
// of sockets, so it holds the POSIX calls itself.

namespace lumaro {

CMySocket::CMySocket() = default;

CMySocket::~CMySocket() {
  if (event_) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    Wake();
    if (watcher_.joinable()) watcher_.join();
  }
  TraceMessage("[LUMARO] - CMySocket::~CMySocket().");
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (socket_ >= 0) {
      ::shutdown(socket_, SHUT_RDWR);
      ::close(socket_);
      socket_ = -1;
    }
  }
  event_.reset();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool CMySocket::Open(const char* localAddress, std::uint16_t localPort, const char* remoteAddress,
                     std::uint16_t remotePort) {
  TraceMessage("[LUMARO] - CMySocket::Open().");
  Close();
  if (remoteAddress != nullptr) {
    in_addr probe{};
    if (::inet_pton(AF_INET, remoteAddress, &probe) != 1) {
      TraceMessage("[LUMARO] - CMySocket::Open(). not an IPv4 address: %s", remoteAddress);
      return false;
    }
    remote_address_ = remoteAddress;
    remote_port_ = remotePort;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    TraceMessage("[LUMARO] - CMySocket::Open(). socket failed: %s", std::strerror(errno));
    return false;
  }
  const int reuse = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const int ttl = 64;
  ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);

  if (!event_) {
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) {
      ::close(fd);
      TraceMessage("[LUMARO] - CMySocket::Open(). eventfd failed: %s", std::strerror(errno));
      return false;
    }
    event_ = std::make_unique<platform::Event>(platform::EventReset::Manual);
    watcher_ = std::thread([this] { WatchLoop(); });
  }
  local_address_ = localAddress != nullptr ? localAddress : "";
  local_port_ = localPort;
  {
    std::lock_guard<std::mutex> guard(lock_);
    socket_ = fd;
    open_ = true;
    connected_ = false;
    connecting_ = false;
    read_armed_ = true;
    close_reported_ = false;
    pending_ = NetworkEvents{};
    event_->Reset();
    ++generation_;
  }
  Wake();
  return true;
}

void CMySocket::Close() {
  std::unique_lock<std::mutex> lock(lock_);
  open_ = false;
  if (socket_ < 0) return;
  TraceMessage("[LUMARO] - CMySocket::Close(). SOCKET: %d. Client shutdown and closesocket.", socket_);
  const int fd = socket_;
  socket_ = -1;
  DetachWatcher(lock);
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  connected_ = false;
  connecting_ = false;
}

int CMySocket::Connect() {
  TraceMessage("[LUMARO] - CMySocket::Connect().\t[HEAD]");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(remote_port_);
  int result = -1;
  std::unique_lock<std::mutex> lock(lock_);
  if (socket_ >= 0 && ::inet_pton(AF_INET, remote_address_.c_str(), &address.sin_addr) == 1) {
    close_reported_ = false;
    read_armed_ = true;
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      connected_ = true;
      result = 0;
      // A connect that completes at once is still reported, so the reader sends its first
      // request the same way in both cases.
      pending_.iConnectError = 0;
      SignalLocked(FD_CONNECT);
    } else if (errno == EINPROGRESS) {
      connecting_ = true;
    } else {
      pending_.iConnectError = errno;
      SignalLocked(FD_CONNECT);
    }
    ++generation_;
  }
  lock.unlock();
  Wake();
  TraceMessage("[LUMARO] - CMySocket::Connect().\t[END]");
  return result;
}

void CMySocket::DisConnect() {
  TraceMessage("[LUMARO] - CMySocket::DisConnect(). shutdown.");
  std::lock_guard<std::mutex> guard(lock_);
  if (socket_ >= 0) {
    ::shutdown(socket_, SHUT_RDWR);
    connected_ = false;
  }
}

int CMySocket::Send(const void* data, int length) {
  std::lock_guard<std::mutex> guard(lock_);
  if (socket_ < 0 || length < 0) return -1;
  const ssize_t sent = ::send(socket_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
  return sent < 0 ? -1 : static_cast<int>(sent);
}

int CMySocket::Receive(void* buffer, int length) {
  ssize_t received = -1;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (socket_ < 0 || length <= 0) return -1;
    received = ::recv(socket_, buffer, static_cast<std::size_t>(length), MSG_DONTWAIT);
    read_armed_ = true;
  }
  Wake();
  return received < 0 ? -1 : static_cast<int>(received);
}

bool CMySocket::EnumNetworkEvents(NetworkEvents& events) {
  std::lock_guard<std::mutex> guard(lock_);
  events = pending_;
  pending_ = NetworkEvents{};
  if (event_) event_->Reset();
  return socket_ >= 0 || events.lNetworkEvents != 0;
}

int CMySocket::Socket() const {
  std::lock_guard<std::mutex> guard(lock_);
  return socket_;
}

bool CMySocket::IsOpen() const {
  std::lock_guard<std::mutex> guard(lock_);
  return open_;
}

bool CMySocket::IsConnected() const {
  std::lock_guard<std::mutex> guard(lock_);
  return connected_;
}

void CMySocket::Wake() {
  if (wake_fd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(wake_fd_, &one, sizeof one);
}

void CMySocket::DetachWatcher(std::unique_lock<std::mutex>& lock) {
  if (!event_) return;
  ++generation_;
  const std::uint64_t target = generation_;
  Wake();
  changed_.wait(lock, [&] { return watcher_generation_ >= target || stop_; });
}

void CMySocket::SignalLocked(long bits) {
  pending_.lNetworkEvents |= bits;
  if (event_) event_->Set();
}

void CMySocket::WatchLoop() {
  std::unique_lock<std::mutex> lock(lock_);
  while (!stop_) {
    watcher_generation_ = generation_;
    changed_.notify_all();
    const std::uint64_t generation = generation_;
    const int fd = socket_;
    short want = 0;
    if (fd >= 0) {
      if (connecting_) {
        want = POLLOUT;
      } else if (connected_ && read_armed_ && !close_reported_) {
        want = POLLIN;
      }
    }
    lock.unlock();
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {want != 0 ? fd : -1, want, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] ssize_t got = ::read(wake_fd_, &count, sizeof count);
    }
    lock.lock();
    if (ready <= 0 || want == 0 || fds[1].revents == 0 || generation != generation_) continue;

    if (want == POLLOUT) {
      int error = 0;
      socklen_t size = sizeof error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
      connecting_ = false;
      connected_ = error == 0;
      pending_.iConnectError = error;
      SignalLocked(FD_CONNECT);
      continue;
    }
    char probe = 0;
    const ssize_t peeked = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) {
      read_armed_ = false;
      SignalLocked(FD_READ);
    } else if (peeked == 0) {
      close_reported_ = true;
      pending_.iCloseError = 0;
      SignalLocked(FD_CLOSE);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      close_reported_ = true;
      pending_.iCloseError = errno;
      SignalLocked(FD_CLOSE);
    }
  }
  watcher_generation_ = generation_;
  changed_.notify_all();
}

}  // namespace lumaro
