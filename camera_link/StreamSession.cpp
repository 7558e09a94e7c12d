#include "camera_link/StreamSession.h"

#include "camera_link/SoundTranscoder.h"
#include "common/TraceMessage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace camlink {

namespace {

constexpr std::chrono::milliseconds kFirstCallbackWait{1000};

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

bool SameFormat(const CML_MEDIA_INFO& a, const CML_MEDIA_INFO& b)
{
    return a.nWidth == b.nWidth && a.nHeight == b.nHeight && a.nCompressor == b.nCompressor;
}

}  // namespace

StreamSession::StreamSession(CameraAddress address, int transport, int stream)
    : address_(std::move(address)), transport_(transport), stream_(stream), input_(interrupter_)
{
}

StreamSession::~StreamSession()
{
    Stop();
}

int StreamSession::Open(bool describeOnly)
{
    std::string why;
    const int result = input_.Open(address_, transport_, &why, describeOnly);
    if (result != CML_OK) {
        TraceMessage("[CAMLINK] - open failed (%d): %s", result, why.c_str());
        return result;
    }
    if (describeOnly)
        return CML_OK;
    std::lock_guard<std::mutex> lock(stateLock_);
    info_ = input_.MediaInfo();
    TraceMessage("[CAMLINK] - %s open: %dx%d codec %d, %d pictures/s, sound %s",
                 RedactedUrl(address_).c_str(), info_.nWidth, info_.nHeight, info_.nCompressor,
                 info_.nFrameRate, input_.AudioIndex() >= 0 ? "yes" : "no");
    return CML_OK;
}

void StreamSession::Start()
{
    thread_ = std::thread([self = shared_from_this()] { self->Run(); });
    receiveThread_ = thread_.get_id();
}

void StreamSession::Cancel()
{
    stop_ = true;
    interrupter_.Cancel();
    std::lock_guard<std::mutex> lock(stateLock_);
    stateChanged_.notify_all();
}

void StreamSession::Stop()
{
    Cancel();
    if (!thread_.joinable())
        return;
    if (std::this_thread::get_id() == thread_.get_id()) {
        thread_.detach();  // called from a callback: the thread ends after it returns
        return;
    }
    thread_.join();
}

void StreamSession::SetStatusCallback(CML_CONNECT_STATUS_CB callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    status_ = callback;
    statusContext_ = context;
}

void StreamSession::SetVideoCallback(CML_VIDEO_CB callback, void* context)
{
    {
        std::lock_guard<std::recursive_mutex> lock(callbackLock_);
        video_ = callback;
        videoContext_ = context;
    }
    std::lock_guard<std::mutex> lock(stateLock_);
    videoSet_ = callback != nullptr;
    stateChanged_.notify_all();
}

void StreamSession::SetAudioCallback(CML_AUDIO_CB callback, void* context)
{
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    audio_ = callback;
    audioContext_ = context;
}

CML_MEDIA_INFO StreamSession::MediaInfo() const
{
    std::lock_guard<std::mutex> lock(stateLock_);
    return info_;
}

void StreamSession::ReportStatus(int status, const void* data, int length)
{
    std::lock_guard<std::recursive_mutex> lock(callbackLock_);
    if (status_ && !stop_)
        status_(status, data, length, statusContext_);
}

bool StreamSession::WaitBeforeRetry(std::chrono::seconds wait)
{
    std::unique_lock<std::mutex> lock(stateLock_);
    return !stateChanged_.wait_for(lock, wait, [this] { return stop_.load(); });
}

void StreamSession::Run()
{
    {
        std::unique_lock<std::mutex> lock(stateLock_);
        stateChanged_.wait_for(lock, kFirstCallbackWait, [this] { return videoSet_ || stop_; });
    }
    SoundTranscoder sound;
    std::chrono::seconds wait{1};
    while (!stop_) {
        if (!input_.IsOpen()) {
            if (!WaitBeforeRetry(wait))
                break;
            wait = std::min(wait * 2, kLongestWait);
            std::string why;
            if (input_.Open(address_, transport_, &why) != CML_OK) {
                TraceMessage("[CAMLINK] - reconnection failed, next try in %d s: %s",
                             static_cast<int>(wait.count()), why.c_str());
                continue;
            }
            CML_MEDIA_INFO info = input_.MediaInfo();
            bool changed = false;
            {
                std::lock_guard<std::mutex> lock(stateLock_);
                changed = !SameFormat(info, info_);
                info_ = info;
            }
            TraceMessage("[CAMLINK] - %s reconnected", RedactedUrl(address_).c_str());
            if (changed)
                ReportStatus(CML_STATUS_FORMAT_CHANGED, &info, sizeof info);
            ReportStatus(CML_STATUS_RESTORED, &info, sizeof info);
            wait = std::chrono::seconds{1};
        }
        if (input_.AudioIndex() >= 0 &&
            !sound.Open(input_.Context()->streams[input_.AudioIndex()]->codecpar))
            TraceMessage("[CAMLINK] - the camera's sound cannot be decoded; pictures only");
        if (Receive(sound))
            break;
        sound.Close();
        input_.Close();
        TraceMessage("[CAMLINK] - %s lost", RedactedUrl(address_).c_str());
        ReportStatus(CML_STATUS_CONNECTION_LOST, nullptr, 0);
    }
    input_.Close();
}

bool StreamSession::Receive(SoundTranscoder& sound)
{
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!packet)
        return false;
    bool firstBlock = true;
    // Pictures before the first key frame of a (re)connection cannot be decoded, and a
    // recording must begin at a key frame: they are not handed on.
    bool keyFrameSeen = false;
    const auto block = [&](const unsigned char* data, int length, int stamp_ms) {
        std::lock_guard<std::recursive_mutex> lock(callbackLock_);
        if (audio_ && !stop_)
            audio_(data, length, stamp_ms, audioContext_, 0, firstBlock ? 1 : 0);
        firstBlock = false;
    };
    while (!stop_) {
        const int result = input_.Read(packet.get());
        if (result < 0)
            return stop_.load();
        const int stamp_ms = input_.StampMs(packet.get());
        if (packet->stream_index == input_.VideoIndex()) {
            keyFrameSeen = keyFrameSeen || (packet->flags & AV_PKT_FLAG_KEY);
            if (packet->size > 0 && keyFrameSeen) {
                std::lock_guard<std::recursive_mutex> lock(callbackLock_);
                if (video_ && !stop_)
                    video_(packet->data, (packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0, packet->size,
                           stamp_ms, videoContext_);
            }
        } else {
            sound.Push(packet.get(), stamp_ms, block);
        }
        av_packet_unref(packet.get());
    }
    return true;
}

}  // namespace camlink
