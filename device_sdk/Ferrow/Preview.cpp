#include "device_sdk/Ferrow/Preview.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace ferrow {

namespace {

FRW_MEDIA_INFO ToPublic(const wire::MediaInfo& info)
{
    return FRW_MEDIA_INFO{info.width, info.height, info.compressor, info.frameRate};
}

}  // namespace

Preview::~Preview()
{
    if (thread_.joinable())
        thread_.detach();
    if (fd_ >= 0)
        close(fd_);
}

int Preview::Open(const std::string& address, uint16_t mediaPort, uint32_t session, int timeout_ms)
{
    fd_ = wire::ConnectTcp(address, mediaPort, timeout_ms);
    if (fd_ < 0)
        return FRW_ERR_TIMEOUT;
    uint8_t payload[4];
    wire::PutU32(payload, session);
    wire::Header open{wire::Type::Open, static_cast<uint8_t>(channel_), 0, 0, sizeof(payload)};
    if (wire::SendMessage(fd_, open, payload, timeout_ms) != wire::IoResult::Ok)
        return FRW_ERR_TIMEOUT;
    wire::Message reply;
    wire::IoResult got = wire::ReceiveMessage(fd_, reply, timeout_ms);
    if (got == wire::IoResult::TimedOut || got == wire::IoResult::Closed)
        return FRW_ERR_TIMEOUT;
    if (got != wire::IoResult::Ok || reply.header.type != wire::Type::OpenReply ||
        reply.payload.size() < 4) {
        std::fprintf(stderr, "[FERROW] - channel %d: unreadable answer to the media open\n",
                     channel_);
        return FRW_ERR_PROTOCOL;
    }
    int result = static_cast<int>(wire::GetU32(reply.payload.data()));
    if (result != FRW_OK)
        return result;
    if (reply.payload.size() < 4 + wire::kMediaInfoBytes) {
        std::fprintf(stderr, "[FERROW] - channel %d: media open accepted without media information\n",
                     channel_);
        return FRW_ERR_PROTOCOL;
    }
    std::lock_guard<std::mutex> lock(infoLock_);
    info_ = ToPublic(wire::DecodeMediaInfo(reply.payload.data() + 4));
    return FRW_OK;
}

void Preview::Start(std::function<void(std::shared_ptr<Preview>)> onLost)
{
    onLost_ = std::move(onLost);
    // The thread keeps the preview alive, so that a Stop from inside a callback may let the
    // thread finish on its own.
    thread_ = std::thread([self = shared_from_this()] { self->Run(); });
}

void Preview::Stop()
{
    stop_ = true;
    {
        std::lock_guard<std::mutex> lock(fdLock_);
        if (fd_ >= 0)
            shutdown(fd_, SHUT_RDWR);
    }
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    video_ = nullptr;
    audio_ = nullptr;
    std::lock_guard<std::mutex> status(statusLock_);
    status_ = nullptr;
}

void Preview::SetStatusCallback(FRW_CONNECT_STATUS_CB callback, void* context)
{
    std::lock_guard<std::mutex> lock(statusLock_);
    status_ = callback;
    statusContext_ = context;
}

void Preview::SetVideoCallback(FRW_VIDEO_CB callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    video_ = callback;
    videoContext_ = context;
}

void Preview::SetAudioCallback(FRW_AUDIO_CB callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    audio_ = callback;
    audioContext_ = context;
}

FRW_MEDIA_INFO Preview::MediaInfo() const
{
    std::lock_guard<std::mutex> lock(infoLock_);
    return info_;
}

void Preview::ReportLost()
{
    if (stop_ || lostReported_.exchange(true))
        return;
    ReportStatus(FRW_STATUS_CONNECTION_LOST, nullptr, 0);
}

void Preview::ReportStatus(int status, const void* data, int length)
{
    FRW_CONNECT_STATUS_CB callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(statusLock_);
        callback = status_;
        context = statusContext_;
    }
    if (callback)
        callback(status, data, length, context);
}

void Preview::Run()
{
    using Clock = std::chrono::steady_clock;
    auto lastData = Clock::now();
    wire::Message message;
    while (!stop_) {
        wire::IoResult result = wire::ReceiveMessage(fd_, message, 250);
        if (result == wire::IoResult::TimedOut) {
            if (Clock::now() - lastData < std::chrono::milliseconds(wire::kSilenceLimitMs))
                continue;
            std::fprintf(stderr, "[FERROW] - channel %d: the device fell silent\n", channel_);
        } else if (result == wire::IoResult::Invalid) {
            std::fprintf(stderr, "[FERROW] - channel %d: invalid message length\n", channel_);
        }
        if (result != wire::IoResult::Ok)
            break;
        lastData = Clock::now();
        Deliver(message);
    }
    {
        std::lock_guard<std::mutex> lock(fdLock_);
        close(fd_);
        fd_ = -1;
    }
    if (!stop_ && onLost_)
        onLost_(shared_from_this());
}

void Preview::Deliver(const wire::Message& message)
{
    const wire::Header& header = message.header;
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    if (stop_)
        return;
    const int length = static_cast<int>(message.payload.size());
    switch (header.type) {
    case wire::Type::Video:
        if (video_ && length > 0)
            video_(message.payload.data(), (header.flags & wire::kVideoKeyFrame) ? 1 : 0, length,
                   static_cast<int>(header.stamp), videoContext_);
        break;
    case wire::Type::Audio: {
        if (length <= 0)
            break;
        bool restart = (header.flags & wire::kAudioRestart) ||
                       (lastAudioBytes_ != 0 && lastAudioBytes_ != length);
        lastAudioBytes_ = length;
        if (audio_)
            audio_(message.payload.data(), length, static_cast<int>(header.stamp), audioContext_,
                   (header.flags & wire::kAudioPlayOff) ? 1 : 0, restart ? 1 : 0);
        break;
    }
    case wire::Type::Format: {
        if (message.payload.size() < wire::kMediaInfoBytes) {
            std::fprintf(stderr, "[FERROW] - channel %d: short format message\n", channel_);
            break;
        }
        FRW_MEDIA_INFO info = ToPublic(wire::DecodeMediaInfo(message.payload.data()));
        {
            std::lock_guard<std::mutex> infoGuard(infoLock_);
            info_ = info;
        }
        ReportStatus(FRW_STATUS_FORMAT_CHANGED, &info, static_cast<int>(sizeof(info)));
        break;
    }
    default:
        break;  // heartbeats and messages of later devices
    }
}

}  // namespace ferrow
