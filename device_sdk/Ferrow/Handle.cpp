#include "device_sdk/Ferrow/Handle.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace ferrow {

namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr int kAnswerTimeoutMs = 3000;
constexpr int kDefaultRequestTimeoutMs = 3000;

void CopyText(uint8_t* field, size_t width, const std::string& text)
{
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

}  // namespace

Handle::~Handle()
{
    Close();
}

int Handle::Login()
{
    std::lock_guard<std::mutex> lock(operationLock_);
    return LoginLocked();
}

int Handle::LoginLocked()
{
    StopControl();
    int fd = wire::ConnectTcp(target_.address, target_.port, kConnectTimeoutMs);
    if (fd < 0) {
        std::fprintf(stderr, "[FERROW] - cannot reach %s:%u\n", target_.address.c_str(),
                     target_.port);
        return FRW_ERR_TIMEOUT;
    }
    uint8_t login[wire::kLoginBytes] = {};
    CopyText(login, 12, target_.user);
    CopyText(login + 12, 12, target_.password);
    wire::PutU32(login + 24, static_cast<uint32_t>(target_.localPort));
    wire::PutU32(login + 28, static_cast<uint32_t>(target_.libraryFlags));
    wire::Header header{wire::Type::Login, 0, 0, 0, sizeof(login)};
    if (wire::SendMessage(fd, header, login, kAnswerTimeoutMs) != wire::IoResult::Ok) {
        close(fd);
        return FRW_ERR_TIMEOUT;
    }
    wire::Message reply;
    wire::IoResult got;
    do {
        got = wire::ReceiveMessage(fd, reply, kAnswerTimeoutMs);
    } while (got == wire::IoResult::Ok && reply.header.type == wire::Type::DeviceHeartbeat);
    if (got == wire::IoResult::Invalid) {
        std::fprintf(stderr, "[FERROW] - %s: login answer with an invalid length\n",
                     target_.address.c_str());
        close(fd);
        return FRW_ERR_PROTOCOL;
    }
    if (got != wire::IoResult::Ok) {
        close(fd);
        return FRW_ERR_TIMEOUT;
    }
    if (reply.header.type != wire::Type::LoginReply || reply.payload.size() < 8) {
        std::fprintf(stderr, "[FERROW] - %s: unreadable login answer\n", target_.address.c_str());
        close(fd);
        return FRW_ERR_PROTOCOL;
    }
    int result = static_cast<int>(wire::GetU32(reply.payload.data()));
    if (result != FRW_OK) {
        close(fd);
        return result;
    }
    uint32_t generation = 0;
    {
        std::lock_guard<std::mutex> control(controlLock_);
        controlFd_ = fd;
        session_ = wire::GetU32(reply.payload.data() + 4);
        generation = ++generation_;
        connected_ = true;
    }
    stopControl_ = false;
    // The thread keeps the handle alive, so that a handle destroyed from inside a loss report
    // is freed only when its control thread has finished.
    controlThread_ = std::thread(
        [self = shared_from_this(), fd, generation] { self->RunControl(fd, generation); });
    return FRW_OK;
}

void Handle::StopControl()
{
    stopControl_ = true;
    {
        std::lock_guard<std::mutex> control(controlLock_);
        if (controlFd_ >= 0)
            shutdown(controlFd_, SHUT_RDWR);
        connected_ = false;
    }
    if (controlThread_.joinable()) {
        if (controlThread_.get_id() == std::this_thread::get_id())
            controlThread_.detach();
        else
            controlThread_.join();
    }
    // A request may be writing on the socket; close it only between writes.
    std::lock_guard<std::mutex> writer(writeLock_);
    std::lock_guard<std::mutex> control(controlLock_);
    if (controlFd_ >= 0)
        close(controlFd_);
    controlFd_ = -1;
}

void Handle::Close()
{
    std::lock_guard<std::mutex> lock(operationLock_);
    std::map<int, std::deque<std::shared_ptr<Preview>>> previews;
    {
        std::lock_guard<std::mutex> guard(previewLock_);
        previews.swap(previews_);
        lostPreviews_.clear();
    }
    for (auto& [channel, list] : previews)
        for (auto& preview : list)
            preview->Stop();
    StopControl();
}

int Handle::StartPreview(int channel)
{
    std::lock_guard<std::mutex> lock(operationLock_);
    bool connected = false;
    uint32_t session = 0;
    {
        std::lock_guard<std::mutex> control(controlLock_);
        connected = connected_;
        session = session_;
    }
    // A handle whose device went away logs in again, so that a caller that keeps a login
    // across a lost connection can start previews on it once the device is back.
    if (!connected) {
        int result = LoginLocked();
        if (result != FRW_OK)
            return result;
        std::lock_guard<std::mutex> control(controlLock_);
        session = session_;
    }
    auto preview = std::make_shared<Preview>(channel);
    uint16_t mediaPort = target_.mediaPort ? target_.mediaPort
                                           : static_cast<uint16_t>(target_.port + 1);
    int result = preview->Open(target_.address, mediaPort, session, kConnectTimeoutMs);
    if (result != FRW_OK)
        return result;
    preview->Start([this](std::shared_ptr<Preview> lost) {
        std::lock_guard<std::mutex> guard(previewLock_);
        lostPreviews_.push_back(std::move(lost));
    });
    std::lock_guard<std::mutex> guard(previewLock_);
    previews_[channel].push_back(std::move(preview));
    return FRW_OK;
}

int Handle::StopPreview(int channel)
{
    std::lock_guard<std::mutex> lock(operationLock_);
    std::shared_ptr<Preview> preview;
    {
        std::lock_guard<std::mutex> guard(previewLock_);
        auto it = previews_.find(channel);
        if (it == previews_.end() || it->second.empty())
            return FRW_ERR_HANDLE;
        preview = it->second.front();
        it->second.pop_front();
        if (it->second.empty())
            previews_.erase(it);
    }
    preview->Stop();
    return FRW_OK;
}

std::shared_ptr<Preview> Handle::FindPreview(int channel) const
{
    std::lock_guard<std::mutex> guard(previewLock_);
    auto it = previews_.find(channel);
    if (it == previews_.end() || it->second.empty())
        return nullptr;
    return it->second.back();
}

int Handle::Request(int channel, int request, int subCode, const void* payload, int length,
                    void* reply, int* replyLength, int timeout_ms)
{
    if (length < 0 || (length > 0 && !payload) ||
        static_cast<uint32_t>(length) > wire::kMaxPayloadBytes - 8)
        return FRW_ERR_PARAMETER;
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> guard(requestLock_);
        id = nextRequestId_++;
        requests_[id] = std::nullopt;
    }
    std::vector<uint8_t> body(8 + static_cast<size_t>(length));
    wire::PutU32(body.data(), static_cast<uint32_t>(request));
    wire::PutU32(body.data() + 4, static_cast<uint32_t>(subCode));
    if (length > 0)
        std::memcpy(body.data() + 8, payload, static_cast<size_t>(length));
    wire::Header header{wire::Type::Request, static_cast<uint8_t>(channel), 0, id,
                        static_cast<uint32_t>(body.size())};
    const int wait_ms = timeout_ms > 0 ? timeout_ms : kDefaultRequestTimeoutMs;
    wire::IoResult sent = wire::IoResult::Closed;
    {
        std::lock_guard<std::mutex> writer(writeLock_);
        int fd = -1;
        {
            std::lock_guard<std::mutex> control(controlLock_);
            if (connected_)
                fd = controlFd_;
        }
        if (fd >= 0)
            sent = wire::SendMessage(fd, header, body.data(), wait_ms);
    }
    std::unique_lock<std::mutex> guard(requestLock_);
    if (sent != wire::IoResult::Ok) {
        requests_.erase(id);
        return FRW_ERR_TIMEOUT;
    }
    bool answered = requestDone_.wait_for(guard, std::chrono::milliseconds(wait_ms), [&] {
        auto it = requests_.find(id);
        return it == requests_.end() || it->second.has_value();
    });
    auto it = requests_.find(id);
    if (!answered || it == requests_.end()) {
        requests_.erase(id);
        return FRW_ERR_TIMEOUT;
    }
    wire::Message answer = std::move(*it->second);
    requests_.erase(it);
    guard.unlock();
    if (answer.payload.size() < 4)
        return FRW_ERR_PROTOCOL;
    if (replyLength) {
        int room = reply ? *replyLength : 0;
        int available = static_cast<int>(answer.payload.size() - 4);
        int copied = std::min(room, available);
        if (copied > 0)
            std::memcpy(reply, answer.payload.data() + 4, static_cast<size_t>(copied));
        *replyLength = available;
    }
    return static_cast<int>(wire::GetU32(answer.payload.data()));
}

void Handle::RunControl(int fd, uint32_t generation)
{
    using Clock = std::chrono::steady_clock;
    auto lastData = Clock::now();
    auto lastHeartbeat = Clock::now();
    wire::Message message;
    bool lost = false;
    while (!stopControl_) {
        {
            std::vector<std::shared_ptr<Preview>> lostPreviews;
            {
                std::lock_guard<std::mutex> guard(previewLock_);
                lostPreviews.swap(lostPreviews_);
            }
            for (auto& preview : lostPreviews)
                preview->ReportLost();
        }
        if (Clock::now() - lastHeartbeat >= std::chrono::milliseconds(wire::kHeartbeatPeriodMs)) {
            lastHeartbeat = Clock::now();
            wire::Header beat{wire::Type::Heartbeat, 0, 0, 0, 0};
            std::lock_guard<std::mutex> writer(writeLock_);
            wire::SendMessage(fd, beat, nullptr, 500);
        }
        wire::IoResult result = wire::ReceiveMessage(fd, message, 200);
        if (result == wire::IoResult::TimedOut) {
            if (Clock::now() - lastData < std::chrono::milliseconds(wire::kSilenceLimitMs))
                continue;
            std::fprintf(stderr, "[FERROW] - %s: the device fell silent\n",
                         target_.address.c_str());
        } else if (result == wire::IoResult::Invalid) {
            std::fprintf(stderr, "[FERROW] - %s: invalid message length\n",
                         target_.address.c_str());
        }
        if (result != wire::IoResult::Ok) {
            lost = !stopControl_;
            break;
        }
        lastData = Clock::now();
        if (message.header.type == wire::Type::RequestReply) {
            std::lock_guard<std::mutex> guard(requestLock_);
            auto it = requests_.find(message.header.stamp);
            if (it != requests_.end()) {
                it->second = std::move(message);
                requestDone_.notify_all();
            }
        }
    }
    if (lost)
        ConnectionLost(generation);
}

void Handle::ConnectionLost(uint32_t generation)
{
    {
        std::lock_guard<std::mutex> control(controlLock_);
        if (generation != generation_)
            return;
        connected_ = false;
    }
    {
        std::lock_guard<std::mutex> guard(requestLock_);
        requests_.clear();
        requestDone_.notify_all();
    }
    std::vector<std::shared_ptr<Preview>> previews;
    {
        std::lock_guard<std::mutex> guard(previewLock_);
        for (auto& [channel, list] : previews_)
            previews.insert(previews.end(), list.begin(), list.end());
        lostPreviews_.clear();
    }
    for (auto& preview : previews)
        preview->ReportLost();
}

}  // namespace ferrow
