#include "platform/TitledWindow.h"

#include "platform/RuntimeFiles.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Wire format, one request per connection: a 32-byte header (magic, kind, message, text length,
// wParam, lParam; native byte order, both ends run on this machine), the text, then an 8-byte
// answer (magic, status) from the receiver.

namespace platform {

namespace {

constexpr std::uint32_t kRequestMagic = 0x4E575454;  // "TTWN"
constexpr std::uint32_t kAnswerMagic = 0x4B575454;   // "TTWK"
constexpr std::uint32_t kKindPing = 1;
constexpr std::uint32_t kKindSetText = 2;
constexpr std::uint32_t kKindPost = 3;
// Window texts beyond this are refused rather than read into memory.
constexpr std::uint32_t kMaxTextBytes = 1u << 20;
// A connected sender that does not finish its request within this time is dropped, so it
// cannot block the receiver for the others.
constexpr std::chrono::milliseconds kServerReadTimeout{2000};
constexpr std::chrono::milliseconds kFindTimeout{1000};

struct RequestHeader {
  std::uint32_t magic;
  std::uint32_t kind;
  std::uint32_t message;
  std::uint32_t text_length;
  std::uint64_t wparam;
  std::int64_t lparam;
};
static_assert(sizeof(RequestHeader) == 32);

struct Answer {
  std::uint32_t magic;
  std::uint32_t status;  // 1 accepted
};

using Clock = std::chrono::steady_clock;

class Descriptor {
 public:
  explicit Descriptor(int value = -1) : value_(value) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return value_; }
  int Release() {
    int value = value_;
    value_ = -1;
    return value;
  }
  void Reset(int value = -1) {
    if (value_ >= 0) close(value_);
    value_ = value;
  }

 private:
  int value_;
};

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads or writes exactly `size` bytes before `deadline`.
bool Transfer(int socket, void* data, std::size_t size, bool reading, Clock::time_point deadline) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    pollfd wait{socket, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
    int ready = poll(&wait, 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t done = reading ? recv(socket, bytes, size, 0)
                           : send(socket, bytes, size, MSG_NOSIGNAL);
    if (done < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

// Connects to the socket at `path` before `deadline`; -1 when nobody listens there.
int Connect(const std::string& path, Clock::time_point deadline) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return -1;
  Descriptor socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket_fd.Get() < 0) return -1;
  if (connect(socket_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    // A full backlog answers EAGAIN on a non-blocking Unix socket; retry until the deadline.
    while (errno == EAGAIN && RemainingMs(deadline) > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (connect(socket_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        errno = 0;
        break;
      }
    }
    if (errno != 0) return -1;
  }
  return socket_fd.Release();
}

// One request: true when the receiver answered "accepted" before the deadline.
bool Request(const std::string& path, std::uint32_t kind, const Message& message,
             std::string_view text, std::chrono::milliseconds timeout) {
  if (text.size() > kMaxTextBytes) return false;
  Clock::time_point deadline = Clock::now() + timeout;
  Descriptor connection(Connect(path, deadline));
  if (connection.Get() < 0) return false;
  RequestHeader header{kRequestMagic, kind, message.message,
                       static_cast<std::uint32_t>(text.size()),
                       static_cast<std::uint64_t>(message.wParam),
                       static_cast<std::int64_t>(message.lParam)};
  if (!Transfer(connection.Get(), &header, sizeof header, false, deadline)) return false;
  if (!text.empty() &&
      !Transfer(connection.Get(), const_cast<char*>(text.data()), text.size(), false, deadline)) {
    return false;
  }
  Answer answer{};
  if (!Transfer(connection.Get(), &answer, sizeof answer, true, deadline)) return false;
  return answer.magic == kAnswerMagic && answer.status == 1;
}

// Identity of the socket file of one registration. A removed socket's inode number is soon given
// to the next one, so the creation time (to the nanosecond) is folded into the device part.
bool SocketIdentity(const std::string& path, std::uint64_t& device, std::uint64_t& inode) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
  std::uint64_t created = static_cast<std::uint64_t>(info.st_ctim.tv_sec) * 1000000000ull +
                          static_cast<std::uint64_t>(info.st_ctim.tv_nsec);
  device = static_cast<std::uint64_t>(info.st_dev) ^ (created * 0x9E3779B97F4A7C15ull);
  inode = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

}  // namespace

std::string TitledWindowSocketPath(std::string_view title) {
  return runtime_files::PathFor("window-", title, ".sock");
}

// ---------------------------------------------------------------------------------------------
// Server

struct TitledWindowServer::State {
  std::string title;
  std::string path;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  Descriptor listener;
  Descriptor wake;  // eventfd that stops the thread
  std::thread thread;
  TextHandler on_text;
  MessageHandler on_message;

  void Run();
  void Serve(int connection);
};

void TitledWindowServer::State::Run() {
  for (;;) {
    pollfd waits[2] = {{listener.Get(), POLLIN, 0}, {wake.Get(), POLLIN, 0}};
    int ready = poll(waits, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (waits[1].revents & POLLIN)) return;
    if (!(waits[0].revents & POLLIN)) continue;
    Descriptor connection(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (connection.Get() >= 0) Serve(connection.Get());
  }
}

void TitledWindowServer::State::Serve(int connection) {
  Clock::time_point deadline = Clock::now() + kServerReadTimeout;
  RequestHeader header{};
  if (!Transfer(connection, &header, sizeof header, true, deadline)) return;
  Answer answer{kAnswerMagic, 0};
  if (header.magic != kRequestMagic || header.text_length > kMaxTextBytes) {
    Transfer(connection, &answer, sizeof answer, false, deadline);
    return;
  }
  std::string text(header.text_length, '\0');
  if (!text.empty() && !Transfer(connection, text.data(), text.size(), true, deadline)) return;
  Message message{header.message, static_cast<WPARAM>(header.wparam),
                  static_cast<LPARAM>(header.lparam)};
  switch (header.kind) {
    case kKindPing:
      answer.status = 1;
      break;
    case kKindSetText:
      // The sender waits for the text to be taken, as it does for WM_SETTEXT.
      if (on_text) on_text(text);
      answer.status = 1;
      break;
    case kKindPost:
      answer.status = 1;
      // A posted message does not make the sender wait for its handling.
      Transfer(connection, &answer, sizeof answer, false, Clock::now() + kServerReadTimeout);
      if (on_message) on_message(message);
      return;
    default:
      break;
  }
  Transfer(connection, &answer, sizeof answer, false, Clock::now() + kServerReadTimeout);
}

TitledWindowServer::TitledWindowServer() = default;

TitledWindowServer::~TitledWindowServer() { Unregister(); }

bool TitledWindowServer::Register(std::string_view title, TextHandler on_text,
                                  MessageHandler on_message) {
  Unregister();
  auto state = std::make_unique<State>();
  state->title.assign(title);
  state->path = TitledWindowSocketPath(title);
  state->on_text = std::move(on_text);
  state->on_message = std::move(on_message);
  sockaddr_un address;
  if (!FillAddress(state->path, address)) return false;

  // Two processes registering one title at once must not remove each other's socket.
  Descriptor guard(open((state->path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        0600));
  if (guard.Get() < 0) return false;
  while (flock(guard.Get(), LOCK_EX) != 0 && errno == EINTR) {
  }
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  if (SocketIdentity(state->path, device, inode)) {
    if (Request(state->path, kKindPing, Message{}, {}, kFindTimeout)) return false;
    unlink(state->path.c_str());  // left behind by a process that is gone
  }
  state->listener.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (state->listener.Get() < 0) return false;
  if (bind(state->listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(state->listener.Get(), 64) != 0 ||
      !SocketIdentity(state->path, state->device, state->inode)) {
    return false;
  }
  state->wake.Reset(eventfd(0, EFD_CLOEXEC));
  if (state->wake.Get() < 0) {
    unlink(state->path.c_str());
    return false;
  }
  State* raw = state.get();
  try {
    state->thread = std::thread([raw] { raw->Run(); });
  } catch (...) {
    unlink(state->path.c_str());
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool TitledWindowServer::Register(std::string_view title, Window* window) {
  if (!window) return false;
  void* handle = window->Handle();
  return Register(
      title, [handle](const std::string& text) { SetWindowText(handle, text); },
      [handle](const Message& message) {
        PostMessage(handle, message.message, message.wParam, message.lParam);
      });
}

void TitledWindowServer::Unregister() {
  if (!state_) return;
  std::uint64_t one = 1;
  if (write(state_->wake.Get(), &one, sizeof one) < 0) {
    // The eventfd cannot be full after one write; nothing else to do.
  }
  if (state_->thread.joinable()) state_->thread.join();
  // Remove the socket only if it is still ours, not one a later registration made.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  if (SocketIdentity(state_->path, device, inode) && device == state_->device &&
      inode == state_->inode) {
    unlink(state_->path.c_str());
  }
  state_.reset();
}

bool TitledWindowServer::IsRegistered() const { return state_ != nullptr; }

const std::string& TitledWindowServer::Title() const {
  static const std::string kNone;
  return state_ ? state_->title : kNone;
}

// ---------------------------------------------------------------------------------------------
// Client

std::optional<TitledWindowHandle> FindTitledWindow(std::string_view title) {
  TitledWindowHandle handle;
  handle.title_.assign(title);
  handle.socket_path_ = TitledWindowSocketPath(title);
  if (!SocketIdentity(handle.socket_path_, handle.device_, handle.inode_)) return std::nullopt;
  if (!Request(handle.socket_path_, kKindPing, Message{}, {}, kFindTimeout)) return std::nullopt;
  handle.failed_ = std::make_shared<std::atomic<bool>>(false);
  return handle;
}

bool TitledWindowHandle::IsWindow() const {
  if (!failed_ || *failed_) return false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  return SocketIdentity(socket_path_, device, inode) && device == device_ && inode == inode_;
}

bool TitledWindowHandle::SendText(std::string_view text, std::chrono::milliseconds timeout) {
  if (!IsWindow() || text.size() > kMaxTextBytes) return false;
  if (Request(socket_path_, kKindSetText, Message{WM_SETTEXT, 0, 0}, text, timeout)) return true;
  *failed_ = true;
  return false;
}

bool TitledWindowHandle::Post(const Message& message, std::chrono::milliseconds timeout) {
  if (!IsWindow()) return false;
  if (Request(socket_path_, kKindPost, message, {}, timeout)) return true;
  *failed_ = true;
  return false;
}

}  // namespace platform
