// Messages between the media-transmit library and a capture-card recorder. Shared by the
// library and the recorder simulator; the layout is described in device_sdk/PROTOCOLS.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ferrow::wire {

enum class Type : uint8_t {
    None = 0x00,
    Login = 0x01,          // client -> device, control connection
    Open = 0x02,           // client -> device, media connection
    Request = 0x03,        // client -> device, control connection
    Heartbeat = 0x04,      // client -> device, control connection
    LoginReply = 0x81,
    OpenReply = 0x82,
    RequestReply = 0x83,
    DeviceHeartbeat = 0x84,
    Video = 0x10,          // device -> client, media connection
    Audio = 0x11,
    Format = 0x12,
};

constexpr size_t kHeaderBytes = 12;
constexpr uint32_t kMaxPayloadBytes = 4u << 20;  // larger lengths mean a broken peer
constexpr size_t kLoginBytes = 32;               // user 12, password 12, u32 port, u32 flags
constexpr size_t kMediaInfoBytes = 16;

constexpr uint16_t kVideoKeyFrame = 0x0001;
constexpr uint16_t kAudioPlayOff = 0x0001;
constexpr uint16_t kAudioRestart = 0x0002;

// Heartbeats keep an idle control connection observable: a peer silent for
// kSilenceLimitMs is treated as gone.
constexpr int kHeartbeatPeriodMs = 1000;
constexpr int kSilenceLimitMs = 5000;

struct Header {
    Type type = Type::None;
    uint8_t channel = 0;
    uint16_t flags = 0;
    uint32_t stamp = 0;   // capture time in ms for media, request id for requests
    uint32_t length = 0;  // payload bytes after the header
};

struct Message {
    Header header;
    std::vector<uint8_t> payload;
};

struct MediaInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t compressor = 0;
    int32_t frameRate = 0;
};

inline void PutU16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}
inline void PutU32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
inline uint32_t GetU32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

void EncodeHeader(const Header& header, uint8_t* out);
Header DecodeHeader(const uint8_t* in);
std::vector<uint8_t> EncodeMediaInfo(const MediaInfo& info);
MediaInfo DecodeMediaInfo(const uint8_t* in);

// Blocking socket helpers. Every wait is bounded; the results say why a call stopped.
enum class IoResult { Ok, Closed, TimedOut, Failed, Invalid };

// Connects a TCP socket to address:port within timeout_ms; -1 on failure.
int ConnectTcp(const std::string& address, uint16_t port, int timeout_ms);
// Writes all bytes, waiting at most timeout_ms for room in the socket.
IoResult SendAll(int fd, const void* data, size_t length, int timeout_ms);
IoResult SendMessage(int fd, const Header& header, const void* payload, int timeout_ms);
// Reads one whole message; TimedOut when none starts within timeout_ms. A message that
// stops arriving midway gives Failed, a length over kMaxPayloadBytes Invalid.
IoResult ReceiveMessage(int fd, Message& message, int timeout_ms);

// CRC-16/CCITT-FALSE (polynomial 0x1021, initial 0xFFFF).
uint16_t Crc16(const uint8_t* data, size_t length);

}  // namespace ferrow::wire
