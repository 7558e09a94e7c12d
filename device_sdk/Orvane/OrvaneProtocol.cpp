#include "device_sdk/Orvane/OrvaneProtocol.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace orvane::wire {

std::vector<uint8_t> BuildMessage(uint16_t type, uint16_t channel, uint32_t sequence,
                                  const uint8_t* payload, size_t payload_bytes) {
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + payload_bytes);
  PutU32(out, kMagic);
  PutU16(out, type);
  PutU16(out, channel);
  PutU32(out, sequence);
  PutU32(out, uint32_t(payload_bytes));
  if (payload_bytes) PutBytes(out, payload, payload_bytes);
  return out;
}

bool ParseHeader(const uint8_t* bytes, Header& header) {
  Reader r(bytes, kHeaderBytes);
  if (r.U32() != kMagic) return false;
  header.type = r.U16();
  header.channel = r.U16();
  header.sequence = r.U32();
  header.length = r.U32();
  return r.ok() && header.length <= kMaxPayloadBytes;
}

std::vector<uint8_t> EncodeLoginInfo(const LoginInfo& info) {
  std::vector<uint8_t> out;
  PutU32(out, info.device_kind);
  PutU32(out, info.channels);
  PutU32(out, info.width);
  PutU32(out, info.height);
  PutU32(out, info.frame_rate);
  PutU32(out, info.audio_rate);
  PutText(out, info.device_name, 32);
  PutText(out, info.version, 16);
  return out;
}

bool DecodeLoginInfo(Reader& reader, LoginInfo& info) {
  info.device_kind = reader.U32();
  info.channels = reader.U32();
  info.width = reader.U32();
  info.height = reader.U32();
  info.frame_rate = reader.U32();
  info.audio_rate = reader.U32();
  info.device_name = reader.Text(32);
  info.version = reader.Text(16);
  return reader.ok();
}

std::vector<uint8_t> EncodePlayInfo(const PlayInfo& info) {
  std::vector<uint8_t> out;
  PutU32(out, info.duration_ms);
  PutU32(out, info.width);
  PutU32(out, info.height);
  PutU32(out, info.frame_rate);
  return out;
}

bool DecodePlayInfo(Reader& reader, PlayInfo& info) {
  info.duration_ms = reader.U32();
  info.width = reader.U32();
  info.height = reader.U32();
  info.frame_rate = reader.U32();
  return reader.ok();
}

bool DecodeFrameHeader(Reader& reader, FrameHeader& header) {
  header.stamp_ms = reader.U32();
  reader.Bytes(&header.key, 1);
  return reader.Skip(3);
}

bool SendAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    n -= size_t(sent);
  }
  return true;
}

bool ReceiveAll(int fd, uint8_t* data, size_t n, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  while (n > 0) {
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd, POLLIN, 0};
      int ready = ::poll(&p, 1, int(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
    }
    ssize_t got = ::recv(fd, data, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return false;
    data += got;
    n -= size_t(got);
  }
  return true;
}

bool ReceiveMessage(int fd, Header& header, std::vector<uint8_t>& payload, int timeout_ms) {
  uint8_t head[kHeaderBytes];
  if (!ReceiveAll(fd, head, kHeaderBytes, timeout_ms)) return false;
  if (!ParseHeader(head, header)) return false;
  payload.resize(header.length);
  // Once a header has arrived the rest of the message follows at network speed.
  return header.length == 0 || ReceiveAll(fd, payload.data(), header.length, 10000);
}

bool MessageReader::Fill(int timeout_ms) {
  if (begin_ == end_) {
    begin_ = end_ = 0;
  } else if (end_ == buffer_.size()) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  while (true) {
    if (timeout_ms >= 0) {
      pollfd p{fd_, POLLIN, 0};
      int ready = ::poll(&p, 1, timeout_ms);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
    }
    ssize_t got = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    end_ += size_t(got);
    return true;
  }
}

bool MessageReader::Next(Header& header, std::vector<uint8_t>& payload, int timeout_ms) {
  while (end_ - begin_ < kHeaderBytes)
    if (!Fill(timeout_ms)) return false;
  if (!ParseHeader(buffer_.data() + begin_, header)) return false;
  const size_t whole = kHeaderBytes + header.length;
  if (whole > buffer_.size()) {
    // Larger than the buffer: take what is buffered, then read the rest straight in.
    const size_t have = end_ - begin_ - kHeaderBytes;
    payload.assign(buffer_.data() + begin_ + kHeaderBytes, buffer_.data() + end_);
    begin_ = end_ = 0;
    payload.resize(header.length);
    return ReceiveAll(fd_, payload.data() + have, header.length - have, 10000);
  }
  // Once a header has arrived the rest of the message follows at network speed.
  while (end_ - begin_ < whole)
    if (!Fill(10000)) return false;
  payload.assign(buffer_.data() + begin_ + kHeaderBytes, buffer_.data() + begin_ + whole);
  begin_ += whole;
  return true;
}

std::string AddressText(uint32_t ip_network_order) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = ip_network_order;
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

}  // namespace orvane::wire
