#include "device_sdk/Orvane/DvrConnection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace orvane {
namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr auto kReplyTimeout = std::chrono::seconds(5);
constexpr uint32_t kMaxChannels = 32;

}  // namespace

DvrConnection::DvrConnection(uint32_t ip_network_order, uint16_t port)
    : ip_(ip_network_order), port_(port) {}

DvrConnection::~DvrConnection() {
  std::lock_guard<std::mutex> api(api_lock_);
  CloseLink();
  for (auto& c : channels_) c->Shutdown();
  if (player_) player_->Shutdown();
}

int DvrConnection::Connect() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  address.sin_addr.s_addr = ip_;
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&p, 1, kConnectTimeoutMs) == 1 &&
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
      rc = 0;
  }
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return fd;
}

int DvrConnection::Login(const ORVANE_LOGIN& login) {
  std::lock_guard<std::mutex> api(api_lock_);
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (link_ == Link::LoggedIn) return ORVANE_ERR_CONNECTION_EXISTS;
  }
  CloseLink();  // the remains of a link that was lost
  int fd = Connect();
  if (fd < 0) {
    std::fprintf(stderr, "[ORVANE] no connection to %s:%u\n", wire::AddressText(ip_).c_str(), port_);
    return ORVANE_ERR_TIMEOUT;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    fd_ = fd;
    link_ = Link::None;
    closing_ = false;
  }
  receiver_ = std::thread([this, fd] { ReceiveLoop(fd); });

  std::vector<uint8_t> block(reinterpret_cast<const uint8_t*>(&login),
                             reinterpret_cast<const uint8_t*>(&login) + sizeof login);
  std::vector<uint8_t> body;
  int result = Request(wire::kLogin, 0, block, &body);
  // The link given up for silence, or dropped, before the login was answered is the same to
  // the caller as no answer in time: the silence limit and the reply wait are both 5 s, and
  // which of them ends the wait first must not change the answer.
  if (result == ORVANE_ERR_NOT_CONNECTED) result = ORVANE_ERR_TIMEOUT;
  wire::LoginInfo info;
  wire::Reader reader(body);
  if (result == ORVANE_OK &&
      (!wire::DecodeLoginInfo(reader, info) || info.channels == 0 || info.channels > kMaxChannels))
    result = ORVANE_ERR_PROTOCOL;
  if (result != ORVANE_OK) {
    CloseLink();
    return result;
  }
  bool lost = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    // The recorder may have broken the link right behind its answer (a bad message after the
    // reply): the receiver has then ended, and a login marked good would leave every later
    // call waiting for answers nobody reads. Checked under the lock the receiver takes as it
    // ends, so a link lost from here on is reported as lost after a login.
    lost = link_ == Link::Lost;
    if (!lost) {
      info_ = info;
      link_ = Link::LoggedIn;
      if (channels_.size() != info.channels) {
        channels_.clear();
        for (uint32_t c = 0; c < info.channels; ++c)
          channels_.push_back(std::make_unique<LiveChannel>(*this, int(c), int(info.frame_rate)));
      }
      if (!player_) player_ = std::make_unique<FilePlayer>(*this);
    }
  }
  if (lost) {
    std::fprintf(stderr, "[ORVANE] link to %s:%u lost right after the login\n", wire::AddressText(ip_).c_str(), port_);
    CloseLink();
    return ORVANE_ERR_NOT_CONNECTED;
  }
  return ORVANE_OK;
}

int DvrConnection::Logout() {
  std::lock_guard<std::mutex> api(api_lock_);
  bool logged_in;
  {
    std::lock_guard<std::mutex> guard(lock_);
    logged_in = link_ == Link::LoggedIn;
    logging_out_ = logged_in;
  }
  if (logged_in) Request(wire::kLogout, 0, {}, nullptr);
  CloseLink();
  return logged_in ? ORVANE_OK : ORVANE_ERR_NOT_LOGGED_IN;
}

void DvrConnection::CloseLink() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  }
  if (receiver_.joinable()) {
    if (receiver_.get_id() == std::this_thread::get_id())
      receiver_.detach();  // called from the connection-lost callback: the thread ends next
    else
      receiver_.join();
  }
  std::vector<LiveChannel*> channels;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    link_ = Link::None;
    closing_ = false;
    logging_out_ = false;
    for (auto& c : channels_) channels.push_back(c.get());
  }
  for (LiveChannel* c : channels) c->LinkClosed();
  if (player_) player_->LinkClosed();
}

int DvrConnection::RegisterConnectionLost(ORVANE_CONNLOST_CB callback, void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  lost_callback_ = callback;
  lost_context_ = context;
  return ORVANE_OK;
}

int DvrConnection::GetSystemParams(ORVANE_SYSTEM_PARAMS& params) {
  std::lock_guard<std::mutex> guard(lock_);
  if (link_ != Link::LoggedIn) return ORVANE_ERR_NOT_CONNECTED;
  std::memset(&params, 0, sizeof params);
  std::snprintf(params.deviceName, sizeof params.deviceName, "%s", info_.device_name.c_str());
  params.deviceKind = info_.device_kind;
  params.channels = info_.channels;
  params.width = info_.width;
  params.height = info_.height;
  params.frameRate = info_.frame_rate;
  params.audioRate = ORVANE_PCM_SAMPLE_RATE;
  std::snprintf(params.version, sizeof params.version, "%s", info_.version.c_str());
  return ORVANE_OK;
}

LiveChannel* DvrConnection::channel(int index, bool after_loss) {
  std::lock_guard<std::mutex> guard(lock_);
  if ((link_ != Link::LoggedIn && !after_loss) || index < 0 || index >= int(channels_.size())) return nullptr;
  return channels_[size_t(index)].get();
}

bool DvrConnection::logged_in() {
  std::lock_guard<std::mutex> guard(lock_);
  return link_ == Link::LoggedIn;
}

FilePlayer* DvrConnection::player() {
  std::lock_guard<std::mutex> guard(lock_);
  return link_ == Link::LoggedIn ? player_.get() : nullptr;
}

int DvrConnection::Request(uint16_t type, uint16_t channel, const std::vector<uint8_t>& payload,
                           std::vector<uint8_t>* body) {
  std::unique_lock<std::mutex> lock(lock_);
  if (fd_ < 0 || closing_ || link_ == Link::Lost ||
      (link_ != Link::LoggedIn && type != wire::kLogin))
    return ORVANE_ERR_NOT_CONNECTED;
  const uint32_t sequence = next_sequence_++;
  if (next_sequence_ == 0) next_sequence_ = 1;
  pending_[sequence] = Pending{};
  const int fd = fd_;
  lock.unlock();

  const auto message = wire::BuildMessage(type, channel, sequence, payload);
  bool sent;
  {
    std::lock_guard<std::mutex> send(send_lock_);
    sent = wire::SendAll(fd, message.data(), message.size());
  }
  lock.lock();
  auto done = [&] { return pending_[sequence].done; };
  if (sent) replies_.wait_for(lock, kReplyTimeout, done);
  Pending reply = std::move(pending_[sequence]);
  pending_.erase(sequence);
  if (!sent) return ORVANE_ERR_NOT_CONNECTED;
  if (!reply.done) return ORVANE_ERR_TIMEOUT;
  if (reply.result == ORVANE_OK && body) *body = std::move(reply.body);
  return reply.result;
}

void DvrConnection::ReceiveLoop(int fd) {
  wire::Header header;
  std::vector<uint8_t> payload;
  wire::MessageReader incoming(fd);
  while (incoming.Next(header, payload, wire::kLinkSilenceLimitMs)) {
    if (header.type & wire::kReplyFlag) {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = pending_.find(header.sequence);
      if (it == pending_.end()) continue;  // its requester gave up waiting
      wire::Reader reader(payload);
      it->second.result = reader.I32();
      if (!reader.ok()) it->second.result = ORVANE_ERR_PROTOCOL;
      it->second.body.assign(reader.cursor(), reader.cursor() + reader.remaining());
      it->second.done = true;
      replies_.notify_all();
      continue;
    }
    switch (header.type) {
      case wire::kVideoFrame:
      case wire::kAudioBlock: {
        LiveChannel* c = channel(header.channel);
        if (c) c->Receive(header.type, std::move(payload));
        break;
      }
      case wire::kPlayFrame:
      case wire::kPlayProgress:
      case wire::kPlayOver: {
        FilePlayer* p = player();
        if (p) p->Receive(header.type, std::move(payload));
        break;
      }
      default:
        break;  // heartbeat, or a message this SDK does not know
    }
    payload = {};
  }

  std::vector<LiveChannel*> channels;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (link_ == Link::LoggedIn && !closing_ && !logging_out_)
      for (auto& c : channels_) channels.push_back(c.get());
  }
  for (LiveChannel* c : channels) c->FinishReceived();

  ORVANE_CONNLOST_CB callback = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (link_ == Link::LoggedIn && !closing_ && !logging_out_) {
      callback = lost_callback_;
      context = lost_context_;
      std::fprintf(stderr, "[ORVANE] link to %s:%u lost\n", wire::AddressText(ip_).c_str(), port_);
    }
    if (!closing_) link_ = Link::Lost;
    for (auto& [sequence, pending] : pending_) {
      if (pending.done) continue;
      pending.done = true;
      pending.result = ORVANE_ERR_NOT_CONNECTED;
    }
    replies_.notify_all();
  }
  // Last thing this thread does: the callback may log out or destroy the handle.
  if (callback) callback(context);
}

}  // namespace orvane
