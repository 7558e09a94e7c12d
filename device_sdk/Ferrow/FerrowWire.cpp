#include "device_sdk/Ferrow/FerrowWire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ferrow::wire {

void EncodeHeader(const Header& header, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(header.type);
    out[1] = header.channel;
    PutU16(out + 2, header.flags);
    PutU32(out + 4, header.stamp);
    PutU32(out + 8, header.length);
}

Header DecodeHeader(const uint8_t* in)
{
    Header header;
    header.type = static_cast<Type>(in[0]);
    header.channel = in[1];
    header.flags = GetU16(in + 2);
    header.stamp = GetU32(in + 4);
    header.length = GetU32(in + 8);
    return header;
}

std::vector<uint8_t> EncodeMediaInfo(const MediaInfo& info)
{
    std::vector<uint8_t> bytes(kMediaInfoBytes);
    PutU32(bytes.data(), static_cast<uint32_t>(info.width));
    PutU32(bytes.data() + 4, static_cast<uint32_t>(info.height));
    PutU32(bytes.data() + 8, static_cast<uint32_t>(info.compressor));
    PutU32(bytes.data() + 12, static_cast<uint32_t>(info.frameRate));
    return bytes;
}

MediaInfo DecodeMediaInfo(const uint8_t* in)
{
    MediaInfo info;
    info.width = static_cast<int32_t>(GetU32(in));
    info.height = static_cast<int32_t>(GetU32(in + 4));
    info.compressor = static_cast<int32_t>(GetU32(in + 8));
    info.frameRate = static_cast<int32_t>(GetU32(in + 12));
    return info;
}

int ConnectTcp(const std::string& address, uint16_t port, int timeout_ms)
{
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &remote.sin_addr) != 1)
        return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote));
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd waiter{fd, POLLOUT, 0};
        rc = poll(&waiter, 1, timeout_ms) == 1 ? 0 : -1;
        int error = 0;
        socklen_t size = sizeof(error);
        if (rc == 0 && (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0))
            rc = -1;
    }
    if (rc != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return fd;
}

IoResult SendAll(int fd, const void* data, size_t length, int timeout_ms)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (length > 0) {
        ssize_t sent = send(fd, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waiter{fd, POLLOUT, 0};
            int ready = poll(&waiter, 1, timeout_ms);
            if (ready == 0)
                return IoResult::TimedOut;
            if (ready < 0 && errno != EINTR)
                return IoResult::Failed;
            continue;
        }
        return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
    }
    return IoResult::Ok;
}

IoResult SendMessage(int fd, const Header& header, const void* payload, int timeout_ms)
{
    uint8_t head[kHeaderBytes];
    EncodeHeader(header, head);
    if (header.length == 0)
        return SendAll(fd, head, sizeof(head), timeout_ms);
    // One buffer, so that a message is never split by another writer's message.
    std::vector<uint8_t> buffer(kHeaderBytes + header.length);
    std::memcpy(buffer.data(), head, kHeaderBytes);
    std::memcpy(buffer.data() + kHeaderBytes, payload, header.length);
    return SendAll(fd, buffer.data(), buffer.size(), timeout_ms);
}

namespace {

IoResult ReceiveExact(int fd, uint8_t* out, size_t length, int timeout_ms)
{
    while (length > 0) {
        pollfd waiter{fd, POLLIN, 0};
        int ready = poll(&waiter, 1, timeout_ms);
        if (ready == 0)
            return IoResult::TimedOut;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return IoResult::Failed;
        }
        ssize_t got = recv(fd, out, length, MSG_DONTWAIT);
        if (got == 0)
            return IoResult::Closed;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
        }
        out += got;
        length -= static_cast<size_t>(got);
    }
    return IoResult::Ok;
}

}  // namespace

IoResult ReceiveMessage(int fd, Message& message, int timeout_ms)
{
    // Only the wait for a message may time out and be retried; once its first byte is in,
    // giving up would lose the framing, so a stall inside a message breaks the connection.
    pollfd waiter{fd, POLLIN, 0};
    int ready = poll(&waiter, 1, timeout_ms);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return IoResult::TimedOut;
    if (ready < 0)
        return IoResult::Failed;
    auto broken = [](IoResult result) {
        return result == IoResult::TimedOut ? IoResult::Failed : result;
    };
    uint8_t head[kHeaderBytes];
    IoResult result = ReceiveExact(fd, head, sizeof(head), kSilenceLimitMs);
    if (result != IoResult::Ok)
        return broken(result);
    message.header = DecodeHeader(head);
    if (message.header.length > kMaxPayloadBytes)
        return IoResult::Invalid;
    message.payload.resize(message.header.length);
    if (message.header.length == 0)
        return IoResult::Ok;
    return broken(ReceiveExact(fd, message.payload.data(), message.payload.size(),
                               kSilenceLimitMs));
}

uint16_t Crc16(const uint8_t* data, size_t length)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

}  // namespace ferrow::wire
