#include "tools/alder_sim/VantorServer.h"

#include "device_sdk/Ferrow/FerrowWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace alder {

namespace wire = ferrow::wire;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint8_t kMarker = 0x8A;
constexpr uint8_t kSearch = 0x6F;
constexpr uint8_t kSearchResults = 0x79;
constexpr uint8_t kSearchEnd = 0x7A;
constexpr uint8_t kPlay = 0xD3;
constexpr uint8_t kStopTransfer = 0xD4;
constexpr uint8_t kStartTransfer = 0xD5;
constexpr uint8_t kDownload = 0xD6;
constexpr uint8_t kTransferEnded = 0xE0;
constexpr uint8_t kTransferReady = 0xE1;
constexpr uint8_t kTransferRefused = 0xE2;
constexpr uint8_t kDownloadReady = 0xE3;

constexpr size_t kEntriesPerReply = 8;
constexpr size_t kEntryBytes = 128;
constexpr size_t kNameOffset = 24;
constexpr auto kUnstartedTransferLife = std::chrono::seconds(120);
constexpr auto kLingerAfterEnd = std::chrono::seconds(60);

// Reads whatever is waiting on fd into buffer (up to its size) without blocking longer than
// wait_ms. False when the peer closed or the socket failed.
bool ReadSome(int fd, std::vector<uint8_t>& buffer, size_t want, int wait_ms)
{
    pollfd waiter{fd, POLLIN, 0};
    int ready = poll(&waiter, 1, wait_ms);
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    uint8_t chunk[512];
    size_t room = std::min(sizeof(chunk), want > buffer.size() ? want - buffer.size() : 0);
    if (room == 0)
        room = sizeof(chunk);
    ssize_t got = recv(fd, chunk, room, MSG_DONTWAIT);
    if (got == 0)
        return false;
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    buffer.insert(buffer.end(), chunk, chunk + got);
    return true;
}

}  // namespace

bool VantorServer::Start(std::string* error)
{
    return query_.Start(options_.address, options_.queryPort,
                        [this](int fd) { ServeQuery(fd); }, error) &&
           transmit_.Start(options_.address, options_.transmitPort,
                           [this](int fd) { ServeTransmit(fd); }, error);
}

void VantorServer::Stop()
{
    query_.Stop();
    transmit_.Stop();
}

VantorServer::Reply VantorServer::MakeReply(uint8_t code)
{
    Reply reply{};
    reply[0] = kMarker;
    reply[1] = code;
    return reply;
}

bool VantorServer::SendReply(const std::shared_ptr<QueryLink>& link, const Reply& reply)
{
    std::lock_guard<std::mutex> guard(link->lock);
    if (link->closed)
        return false;
    size_t first = options_.splitAt > 0 ? static_cast<size_t>(options_.splitAt) : reply.size();
    if (wire::SendAll(link->fd, reply.data(), first, 5000) != wire::IoResult::Ok)
        return false;
    if (first == reply.size())
        return true;
    // A pause between the two parts makes the receiver see two separate segments.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return wire::SendAll(link->fd, reply.data() + first, reply.size() - first, 5000) ==
           wire::IoResult::Ok;
}

void VantorServer::ServeQuery(int fd)
{
    auto link = std::make_shared<QueryLink>();
    link->fd = fd;
    std::vector<uint8_t> pending;
    while (ReadSome(fd, pending, kRequestBytes, 200)) {
        while (pending.size() >= kRequestBytes) {
            HandleRequest(link, pending.data());
            pending.erase(pending.begin(), pending.begin() + kRequestBytes);
        }
    }
    std::lock_guard<std::mutex> guard(link->lock);
    link->closed = true;
}

void VantorServer::HandleRequest(const std::shared_ptr<QueryLink>& link, const uint8_t* request)
{
    if (request[0] != kMarker) {
        LogEvent("query: request without marker ignored");
        return;
    }
    switch (request[1]) {
    case kSearch: Search(link, request); break;
    case kPlay: OfferTransfer(link, request, true); break;
    case kDownload: OfferTransfer(link, request, false); break;
    default: LogEvent("query: command 0x%02X ignored", request[1]); break;
    }
}

void VantorServer::Search(const std::shared_ptr<QueryLink>& link, const uint8_t* request)
{
    const uint32_t date = wire::GetU32(request + 4);
    const uint32_t from = wire::GetU32(request + 12);
    const uint32_t to = wire::GetU32(request + 16);
    const uint16_t channel = wire::GetU16(request + 20);
    const uint16_t typeIndex = wire::GetU16(request + 22);
    std::vector<Recording> found;
    if (typeIndex <= 3)
        found = catalogue_.Search(date, from, to, channel, static_cast<RecordType>(typeIndex));
    LogEvent("search date=%u from=%06u to=%06u channel=%u type=%u found=%zu", date, from, to,
             channel, typeIndex, found.size());
    for (size_t first = 0; first < found.size(); first += kEntriesPerReply) {
        Reply reply = MakeReply(kSearchResults);
        size_t count = std::min(kEntriesPerReply, found.size() - first);
        reply[3] = static_cast<uint8_t>(count);
        for (size_t i = 0; i < count; ++i) {
            const Recording& recording = found[first + i];
            uint8_t* entry = reply.data() + 8 + i * kEntryBytes;
            wire::PutU32(entry, recording.date);
            wire::PutU32(entry + 4, recording.time);
            wire::PutU16(entry + 8, static_cast<uint16_t>(recording.type));
            wire::PutU16(entry + 10, recording.channel);
            std::memcpy(entry + 12, recording.name.data(), recording.name.size());
        }
        if (!SendReply(link, reply))
            return;
    }
    SendReply(link, MakeReply(kSearchEnd));
}

void VantorServer::OfferTransfer(const std::shared_ptr<QueryLink>& link, const uint8_t* request,
                                 bool play)
{
    const char* field = reinterpret_cast<const char*>(request + kNameOffset);
    std::string name(field, strnlen(field, kRequestBytes - kNameOffset));
    std::optional<std::string> path = catalogue_.Resolve(name);
    if (!path) {
        LogEvent("%s \"%s\" refused: no such recording", play ? "play" : "download", name.c_str());
        SendReply(link, MakeReply(kTransferRefused));
        return;
    }
    std::error_code error;
    uint64_t size = std::filesystem::file_size(*path, error);
    uint8_t id = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto now = Clock::now();
        for (auto it = transfers_.begin(); it != transfers_.end();)
            it = !it->second.started && now - it->second.created > kUnstartedTransferLife
                     ? transfers_.erase(it)
                     : std::next(it);
        for (int tries = 0; tries < 255 && id == 0; ++tries) {
            uint8_t candidate = nextId_;
            nextId_ = static_cast<uint8_t>(nextId_ == 255 ? 1 : nextId_ + 1);
            if (!transfers_.count(candidate))
                id = candidate;
        }
        if (id != 0)
            transfers_[id] = Transfer{name, *path, size, play, false, now, link};
    }
    if (id == 0) {
        LogEvent("%s \"%s\" refused: too many transfers", play ? "play" : "download",
                 name.c_str());
        SendReply(link, MakeReply(kTransferRefused));
        return;
    }
    LogEvent("%s \"%s\" id=%u size=%llu", play ? "play" : "download", name.c_str(), id,
             static_cast<unsigned long long>(size));
    Reply reply = MakeReply(play ? kTransferReady : kDownloadReady);
    reply[2] = id;
    if (play)
        wire::PutU32(reply.data() + 4, static_cast<uint32_t>(size));
    SendReply(link, reply);
}

void VantorServer::ServeTransmit(int fd)
{
    std::vector<uint8_t> request;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (request.size() < kRequestBytes && Clock::now() < deadline)
        if (!ReadSome(fd, request, kRequestBytes, 200))
            return;
    if (request.size() < kRequestBytes || request[0] != kMarker || request[1] != kStartTransfer) {
        LogEvent("transmit: no start request, closing");
        return;
    }
    const uint8_t id = request[2];
    request.erase(request.begin(), request.begin() + kRequestBytes);
    Transfer transfer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = transfers_.find(id);
        if (it == transfers_.end() || it->second.started) {
            LogEvent("transmit: unknown transfer id=%u, closing", id);
            return;
        }
        it->second.started = true;
        transfer = it->second;
    }
    auto release = [&] {
        std::lock_guard<std::mutex> guard(lock_);
        transfers_.erase(id);
    };
    // A stop request for this transfer, or the peer gone, ends the stream.
    bool stopped = false;
    auto checkStop = [&](int wait_ms) {
        if (!ReadSome(fd, request, kRequestBytes, wait_ms))
            return true;
        while (request.size() >= kRequestBytes) {
            if (request[0] == kMarker && request[1] == kStopTransfer && request[2] == id)
                return true;
            request.erase(request.begin(), request.begin() + kRequestBytes);
        }
        return false;
    };

    std::ifstream file(transfer.path, std::ios::binary);
    if (!file) {
        LogEvent("transfer id=%u: cannot open %s", id, transfer.path.c_str());
        if (auto link = transfer.link.lock())
            SendReply(link, MakeReply(kTransferRefused));
        release();
        return;
    }
    const auto start = Clock::now();
    uint64_t sent = 0;
    std::vector<uint8_t> chunk(64 * 1024);
    bool complete = false;
    while (!stopped) {
        size_t want = chunk.size();
        if (options_.paceBytesPerSecond > 0) {
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            auto allowed = static_cast<int64_t>(elapsed * static_cast<double>(options_.paceBytesPerSecond));
            int64_t room = allowed - static_cast<int64_t>(sent);
            if (room <= 0) {
                stopped = checkStop(20);
                continue;
            }
            want = std::min<size_t>(want, static_cast<size_t>(room));
        }
        file.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(want));
        size_t got = static_cast<size_t>(file.gcount());
        if (got == 0) {
            complete = true;
            break;
        }
        if (wire::SendAll(fd, chunk.data(), got, 10000) != wire::IoResult::Ok) {
            stopped = true;
            break;
        }
        sent += got;
        stopped = checkStop(0);
    }
    if (!complete) {
        LogEvent("transfer id=%u stopped after %llu bytes", id, static_cast<unsigned long long>(sent));
        release();
        return;
    }
    LogEvent("transfer id=%u complete, %llu bytes", id, static_cast<unsigned long long>(sent));
    if (transfer.play)
        if (auto link = transfer.link.lock())
            SendReply(link, MakeReply(kTransferEnded));
    // The client ends the transfer with a stop request or by closing; wait for either.
    const auto lingerEnd = Clock::now() + kLingerAfterEnd;
    while (Clock::now() < lingerEnd && !checkStop(200)) {
    }
    release();
}

}  // namespace alder
