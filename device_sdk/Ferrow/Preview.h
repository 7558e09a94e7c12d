#pragma once

#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Ferrow/FerrowWire.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ferrow {

class Handle;

// One preview of one channel: its media connection and the thread that receives it and
// calls the video, audio and format-change callbacks.
// Lock order: callbackLock_, then statusLock_ or infoLock_.
class Preview : public std::enable_shared_from_this<Preview> {
public:
    explicit Preview(int channel) : channel_(channel) {}
    ~Preview();

    int channel() const { return channel_; }

    // Connects to the media port, opens the channel with the session and waits for the
    // channel's media information. Returns an FRW_ code.
    int Open(const std::string& address, uint16_t mediaPort, uint32_t session, int timeout_ms);
    // Starts the receive thread. onLost is called (on the receive thread) when the media
    // connection ends without Stop; it must not call back into this preview.
    void Start(std::function<void(std::shared_ptr<Preview>)> onLost);
    // Ends the receive thread and waits for it unless called from it. After it returns no
    // video, audio or format callback of this preview runs.
    void Stop();

    void SetStatusCallback(FRW_CONNECT_STATUS_CB callback, void* context);
    void SetVideoCallback(FRW_VIDEO_CB callback, void* context);
    void SetAudioCallback(FRW_AUDIO_CB callback, void* context);
    FRW_MEDIA_INFO MediaInfo() const;

    // Reports the loss of the connection once; later calls do nothing. Never called on the
    // receive thread, so that Stop never waits for a handler of the loss.
    void ReportLost();

private:
    void Run();
    void Deliver(const wire::Message& message);
    // Calls the status callback, if any, with `status` and its data. The callback runs without
    // statusLock_ held, so it may set another callback.
    void ReportStatus(int status, const void* data, int length);

    const int channel_;
    int fd_ = -1;  // Guarded by fdLock_ once the thread runs; closed by Run's end or ~Preview.
    std::mutex fdLock_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> lostReported_{false};
    std::function<void(std::shared_ptr<Preview>)> onLost_;  // Immutable after Start().

    mutable std::recursive_mutex callbackLock_;  // held while a receive-thread callback runs
    FRW_VIDEO_CB video_ = nullptr;                // Guarded by callbackLock_
    void* videoContext_ = nullptr;
    FRW_AUDIO_CB audio_ = nullptr;                // Guarded by callbackLock_
    void* audioContext_ = nullptr;
    int lastAudioBytes_ = 0;                      // Receive thread only

    mutable std::mutex statusLock_;
    FRW_CONNECT_STATUS_CB status_ = nullptr;      // Guarded by statusLock_
    void* statusContext_ = nullptr;

    mutable std::mutex infoLock_;
    FRW_MEDIA_INFO info_{};                       // Guarded by infoLock_
};

}  // namespace ferrow
