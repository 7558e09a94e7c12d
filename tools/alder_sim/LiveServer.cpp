#include "tools/alder_sim/LiveServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>

namespace alder {

namespace wire = ferrow::wire;
using Clock = std::chrono::steady_clock;

namespace {

// Result codes shared with the media-transmit library.
constexpr uint32_t kOk = 0;
constexpr uint32_t kUserRefused = 4;
constexpr uint32_t kRefused = 6;
constexpr uint32_t kNoSource = 9;

constexpr int kPtzRequest = 0x59;
constexpr int kPtzSubCode = 3;
constexpr size_t kPtzPayloadBytes = 55;
constexpr int kClientSilenceLimitMs = 15000;

std::string FixedText(const uint8_t* field, size_t width)
{
    const char* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, width));
}

bool Send(int fd, wire::Type type, uint8_t channel, uint32_t stamp,
          const std::vector<uint8_t>& payload)
{
    wire::Header header{type, channel, 0, stamp, static_cast<uint32_t>(payload.size())};
    return wire::SendMessage(fd, header, payload.data(), 2000) == wire::IoResult::Ok;
}

std::vector<uint8_t> U32(uint32_t value)
{
    std::vector<uint8_t> bytes(4);
    wire::PutU32(bytes.data(), value);
    return bytes;
}

}  // namespace

bool LiveServer::Start(std::string* error)
{
    uint16_t mediaPort = options_.mediaPort ? options_.mediaPort
                                            : static_cast<uint16_t>(options_.livePort + 1);
    return control_.Start(options_.address, options_.livePort,
                          [this](int fd) { ServeControl(fd); }, error) &&
           media_.Start(options_.address, mediaPort, [this](int fd) { ServeMedia(fd); }, error);
}

void LiveServer::Stop()
{
    control_.Stop();
    media_.Stop();
}

int LiveServer::DropAll()
{
    return control_.DropConnections() + media_.DropConnections();
}

int LiveServer::Login(const wire::Message& message, uint32_t& session)
{
    if (message.header.type != wire::Type::Login || message.payload.size() < wire::kLoginBytes)
        return -1;
    std::string user = FixedText(message.payload.data(), 12);
    std::string password = FixedText(message.payload.data() + 12, 12);
    if (user != options_.user || password != options_.password) {
        LogEvent("login refused user=%s", user.c_str());
        return static_cast<int>(kUserRefused);
    }
    std::lock_guard<std::mutex> lock(lock_);
    do {
        session = random_();
    } while (session == 0 || sessions_.count(session));
    sessions_[session] = user;
    LogEvent("login user=%s local-port=%u", user.c_str(), wire::GetU32(message.payload.data() + 24));
    return static_cast<int>(kOk);
}

bool LiveServer::SessionUser(uint32_t session, std::string& user) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = sessions_.find(session);
    if (it == sessions_.end())
        return false;
    user = it->second;
    return true;
}

void LiveServer::ServeControl(int fd)
{
    wire::Message message;
    if (wire::ReceiveMessage(fd, message, 10000) != wire::IoResult::Ok)
        return;
    uint32_t session = 0;
    int result = Login(message, session);
    if (result < 0)
        return;  // not a client of ours
    std::vector<uint8_t> reply = U32(static_cast<uint32_t>(result));
    auto more = U32(session);
    reply.insert(reply.end(), more.begin(), more.end());
    more = U32(static_cast<uint32_t>(options_.channels));
    reply.insert(reply.end(), more.begin(), more.end());
    if (!Send(fd, wire::Type::LoginReply, 0, 0, reply) || result != 0)
        return;

    auto lastHeard = Clock::now();
    auto lastBeat = Clock::now();
    while (true) {
        if (Clock::now() - lastBeat >= std::chrono::milliseconds(wire::kHeartbeatPeriodMs)) {
            lastBeat = Clock::now();
            if (!Send(fd, wire::Type::DeviceHeartbeat, 0, 0, {}))
                break;
        }
        wire::IoResult got = wire::ReceiveMessage(fd, message, 200);
        if (got == wire::IoResult::TimedOut) {
            if (Clock::now() - lastHeard > std::chrono::milliseconds(kClientSilenceLimitMs)) {
                LogEvent("client silent, closing its session");
                break;
            }
            continue;
        }
        if (got != wire::IoResult::Ok)
            break;
        lastHeard = Clock::now();
        if (message.header.type == wire::Type::Request) {
            uint32_t answer = static_cast<uint32_t>(HandleRequest(session, message));
            if (!Send(fd, wire::Type::RequestReply, message.header.channel, message.header.stamp,
                      U32(answer)))
                break;
        }
    }
    std::lock_guard<std::mutex> lock(lock_);
    sessions_.erase(session);
}

int LiveServer::HandleRequest(uint32_t session, const wire::Message& message)
{
    const std::vector<uint8_t>& body = message.payload;
    if (body.size() < 8)
        return kRefused;
    int request = static_cast<int>(wire::GetU32(body.data()));
    int subCode = static_cast<int>(wire::GetU32(body.data() + 4));
    const uint8_t* payload = body.data() + 8;
    const size_t length = body.size() - 8;
    if (request != kPtzRequest || subCode != kPtzSubCode) {
        LogEvent("request 0x%X/%d refused: unknown", request, subCode);
        return kRefused;
    }
    std::string user;
    const char* reason = nullptr;
    if (length != kPtzPayloadBytes)
        reason = "payload length";
    else if (wire::Crc16(payload + 2, 3) != ((payload[0] << 8) | payload[1]))
        reason = "check value";
    else if (payload[2] >= options_.channels)
        reason = "channel";
    else if (payload[3] > 25 || payload[4] > 1)
        reason = "command";
    else if (!std::memchr(payload + 5, 0, 50) || !SessionUser(session, user) ||
             user != reinterpret_cast<const char*>(payload + 5))
        reason = "user name";
    if (reason) {
        LogEvent("ptz channel=%d refused: %s", length > 2 ? payload[2] + 1 : 0, reason);
        return kRefused;
    }
    channels_[payload[2]]->Steer(payload[3], payload[4] != 0);
    LogEvent("ptz channel=%d code=%d start=%d accepted", payload[2] + 1, payload[3], payload[4]);
    return kOk;
}

void LiveServer::ServeMedia(int fd)
{
    wire::Message message;
    if (wire::ReceiveMessage(fd, message, 10000) != wire::IoResult::Ok ||
        message.header.type != wire::Type::Open || message.payload.size() < 4)
        return;
    const int channel = message.header.channel;
    std::string user;
    uint32_t result = kOk;
    if (!SessionUser(wire::GetU32(message.payload.data()), user))
        result = kUserRefused;
    else if (channel >= options_.channels)
        result = kNoSource;
    std::vector<uint8_t> reply = U32(result);
    if (result == kOk) {
        auto info = wire::EncodeMediaInfo(channels_[channel]->Info());
        reply.insert(reply.end(), info.begin(), info.end());
    }
    if (!Send(fd, wire::Type::OpenReply, static_cast<uint8_t>(channel), 0, reply) || result != kOk)
        return;

    LogEvent("preview channel=%d started", channel + 1);
    auto sink = std::make_shared<MediaSink>();
    channels_[channel]->Subscribe(sink);
    while (true) {
        std::optional<wire::Message> next = sink->Pop(std::chrono::milliseconds(200));
        if (next) {
            if (wire::SendMessage(fd, next->header, next->payload.data(), 5000) !=
                wire::IoResult::Ok)
                break;
            continue;
        }
        // Nothing to send: see whether the client has gone.
        pollfd waiter{fd, POLLIN, 0};
        if (poll(&waiter, 1, 0) == 1) {
            uint8_t scratch[256];
            if (recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT) <= 0)
                break;
        }
    }
    channels_[channel]->Unsubscribe(sink);
    sink->Close();
    LogEvent("preview channel=%d ended", channel + 1);
}

}  // namespace alder
