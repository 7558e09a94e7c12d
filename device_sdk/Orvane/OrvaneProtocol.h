#pragma once

// The wire protocol between the DVR SDK and a recorder (tools/dvr_sim stands in for one).
// device_sdk/PROTOCOLS.md describes it for people; this header is its single definition in
// code, shared by both ends.
//
// A connection carries messages, each a 16-byte header followed by `length` payload bytes, all
// integers little-endian. The client sends requests with a sequence number; the recorder
// answers each with the same type | kReplyFlag and the same sequence number, the payload
// starting with an int32 result (an ORVANE_ERR_ code, 0 for success). The recorder also sends
// unsolicited data messages (sequence 0): live frames, sound blocks, playback frames and a
// heartbeat every second.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orvane::wire {

inline constexpr uint32_t kMagic = 0x4E56524Fu;  // "ORVN" on the wire
inline constexpr size_t kHeaderBytes = 16;
inline constexpr uint32_t kMaxPayloadBytes = 4u << 20;
inline constexpr uint16_t kReplyFlag = 0x8000;

// A silent link for this long counts as lost (the recorder sends a heartbeat every second).
inline constexpr int kLinkSilenceLimitMs = 5000;
inline constexpr int kHeartbeatIntervalMs = 1000;

enum Type : uint16_t {
  // Requests (client -> recorder).
  kLogin = 0x0001,        // 46-byte login block -> LoginReply
  kLogout = 0x0002,       // -> result; the recorder then closes the connection
  kVideoStart = 0x0010,   // channel in header -> result (ORVANE_ERR_NO_VIDEO)
  kVideoStop = 0x0011,
  kAudioStart = 0x0012,
  kAudioStop = 0x0013,
  kPtz = 0x0020,          // u32 command -> result
  kSearch = 0x0030,       // 16-byte query -> result, u16 total, u16 first, u16 count, records
  kPlayStart = 0x0040,    // 84-byte record data -> result, PlayInfo
  kPlayPause = 0x0041,
  kPlayResume = 0x0042,
  kPlayRate = 0x0043,     // i32 rate
  kPlayStop = 0x0044,
  // Data (recorder -> client), sequence 0.
  kVideoFrame = 0x0100,   // FrameHeader + MPEG-4 bitstream of one picture
  kAudioBlock = 0x0101,   // u32 stamp, u16 samples, u16 0, one IMA ADPCM block
  kPlayFrame = 0x0102,    // FrameHeader + bitstream, stamp = position in the recording
  kPlayProgress = 0x0103, // u32 position ms, u32 total ms
  kPlayOver = 0x0104,     // the recording has been played to its end
  kHeartbeat = 0x0105,
};

struct Header {
  uint16_t type = 0;
  uint16_t channel = 0;
  uint32_t sequence = 0;
  uint32_t length = 0;
};

// Payload prefix of kVideoFrame and kPlayFrame.
inline constexpr size_t kFrameHeaderBytes = 8;
struct FrameHeader {
  uint32_t stamp_ms = 0;
  uint8_t key = 0;
};

// Payload of a successful login reply after the result.
struct LoginInfo {
  uint32_t device_kind = 0;
  uint32_t channels = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frame_rate = 0;
  uint32_t audio_rate = 0;
  std::string device_name;  // at most 31 characters
  std::string version;      // at most 15 characters
};

// Payload of a successful play-start reply after the result.
struct PlayInfo {
  uint32_t duration_ms = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frame_rate = 0;
};

inline constexpr size_t kSearchQueryBytes = 16;
inline constexpr size_t kRecordDataBytes = 84;
inline constexpr size_t kLoginBlockBytes = 46;

// Little-endian helpers over byte buffers; readers check bounds with Reader.
inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void PutBytes(std::vector<uint8_t>& out, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}
// Writes `text` into a field of `width` bytes, cut to width - 1 and zero-filled.
inline void PutText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
  size_t n = text.size() < width ? text.size() : width - 1;
  PutBytes(out, text.data(), n);
  out.insert(out.end(), width - n, 0);
}

// Reads little-endian values from a payload; every read checks the bytes that remain, and a
// failed read leaves ok() false for good.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit Reader(const std::vector<uint8_t>& v) : Reader(v.data(), v.size()) {}

  bool ok() const { return ok_; }
  size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
  const uint8_t* cursor() const { return data_ + pos_; }

  uint16_t U16() {
    uint8_t b[2] = {0, 0};
    Bytes(b, 2);
    return uint16_t(b[0] | (b[1] << 8));
  }
  uint32_t U32() {
    uint8_t b[4] = {0, 0, 0, 0};
    Bytes(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
           (uint32_t(b[3]) << 24);
  }
  int32_t I32() { return int32_t(U32()); }
  bool Bytes(void* out, size_t n) {
    if (!ok_ || size_ - pos_ < n) {
      ok_ = false;
      return false;
    }
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool Skip(size_t n) {
    if (!ok_ || size_ - pos_ < n) {
      ok_ = false;
      return false;
    }
    pos_ += n;
    return true;
  }
  // A zero-padded text field of `width` bytes.
  std::string Text(size_t width) {
    std::string s(width, '\0');
    if (!Bytes(s.data(), width)) return {};
    s.resize(std::strlen(s.c_str()));
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Builds one message (header and payload) ready to send.
std::vector<uint8_t> BuildMessage(uint16_t type, uint16_t channel, uint32_t sequence,
                                  const uint8_t* payload, size_t payload_bytes);
inline std::vector<uint8_t> BuildMessage(uint16_t type, uint16_t channel, uint32_t sequence,
                                         const std::vector<uint8_t>& payload) {
  return BuildMessage(type, channel, sequence, payload.data(), payload.size());
}

// Parses a 16-byte header. False (a protocol error: the connection must be dropped) when the
// magic is wrong or the length exceeds kMaxPayloadBytes.
bool ParseHeader(const uint8_t* bytes, Header& header);

std::vector<uint8_t> EncodeLoginInfo(const LoginInfo& info);
bool DecodeLoginInfo(Reader& reader, LoginInfo& info);
std::vector<uint8_t> EncodePlayInfo(const PlayInfo& info);
bool DecodePlayInfo(Reader& reader, PlayInfo& info);
// The FrameHeader that starts a kVideoFrame or kPlayFrame payload; the reader is left at the
// bitstream. False when the payload is shorter than the header.
bool DecodeFrameHeader(Reader& reader, FrameHeader& header);

// Blocking socket helpers. SendAll writes every byte (false on any error, including a peer
// that has gone away: SIGPIPE is never raised). ReceiveAll reads exactly n bytes; false on
// end of stream, error, or when no byte arrives within timeout_ms (< 0: no limit).
bool SendAll(int fd, const uint8_t* data, size_t n);
bool ReceiveAll(int fd, uint8_t* data, size_t n, int timeout_ms);

// Reads one whole message; false on end of stream, error, time-out or protocol error.
bool ReceiveMessage(int fd, Header& header, std::vector<uint8_t>& payload, int timeout_ms);

// Reads messages from a socket through a buffer, so that the small messages of a busy link
// cost one system call for many rather than several each. One reader per socket and thread.
class MessageReader {
 public:
  explicit MessageReader(int fd) : fd_(fd), buffer_(64 * 1024) {}
  // The next whole message; false on end of stream, error, protocol error, or when nothing
  // arrives for timeout_ms (< 0: no limit) while the buffer holds no whole message.
  bool Next(Header& header, std::vector<uint8_t>& payload, int timeout_ms);

 private:
  // Waits for and appends more bytes; false on end of stream, error or time-out.
  bool Fill(int timeout_ms);

  int fd_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;  // first unread byte
  size_t end_ = 0;    // one past the last byte read
};

// Dotted text of an IPv4 address in network order.
std::string AddressText(uint32_t ip_network_order);

}  // namespace orvane::wire
