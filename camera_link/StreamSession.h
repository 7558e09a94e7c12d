#pragma once

#include "camera_link/Camlink.h"
#include "camera_link/CameraUrl.h"
#include "camera_link/RtspInput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace camlink {

// One previewed stream of a camera: its RTSP session, the receive thread that calls the
// video, sound and status callbacks, and the reconnection after a loss.
// Lock order: callbackLock_, then stateLock_.
class StreamSession : public std::enable_shared_from_this<StreamSession> {
public:
    // Waits between reconnection tries: 1, 2, 4 ... s, never more than this.
    static constexpr std::chrono::seconds kLongestWait{30};

    StreamSession(CameraAddress address, int transport, int stream);
    ~StreamSession();
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    int stream() const { return stream_; }

    // Opens the session and waits for the media information; a CML_ code. A login only
    // asks for the description (`describeOnly`), which proves the address and credentials.
    int Open(bool describeOnly = false);
    // Starts the receive thread, which keeps the session alive until it ends. Pictures wait (in libavformat's buffer) until the video
    // callback is set or a second has passed, so the first key frame reaches the caller.
    void Start();
    // Ends any blocking open at once; the receive thread leaves and waits no more.
    void Cancel();
    // Ends the receive thread and waits for it unless called from one of its callbacks.
    // After it returns no callback of this session runs.
    void Stop();

    void SetStatusCallback(CML_CONNECT_STATUS_CB callback, void* context);
    void SetVideoCallback(CML_VIDEO_CB callback, void* context);
    void SetAudioCallback(CML_AUDIO_CB callback, void* context);
    CML_MEDIA_INFO MediaInfo() const;

private:
    void Run();
    // Reads and hands on packets until the session breaks or Stop; true when stopped.
    bool Receive(class SoundTranscoder& sound);
    // Waits for the next try after a loss; false when stopped while waiting.
    bool WaitBeforeRetry(std::chrono::seconds wait);
    void ReportStatus(int status, const void* data, int length);

    const CameraAddress address_;
    const int transport_;
    const int stream_;

    Interrupter interrupter_;
    RtspInput input_;  // Open() before Start(), then the receive thread only
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::thread::id receiveThread_;  // Immutable after Start()

    mutable std::recursive_mutex callbackLock_;  // held while a receive-thread callback runs
    CML_VIDEO_CB video_ = nullptr;               // Guarded by callbackLock_
    void* videoContext_ = nullptr;
    CML_AUDIO_CB audio_ = nullptr;               // Guarded by callbackLock_
    void* audioContext_ = nullptr;
    CML_CONNECT_STATUS_CB status_ = nullptr;     // Guarded by callbackLock_
    void* statusContext_ = nullptr;

    mutable std::mutex stateLock_;
    std::condition_variable stateChanged_;
    CML_MEDIA_INFO info_{};                      // Guarded by stateLock_
    bool videoSet_ = false;                      // Guarded by stateLock_
};

}  // namespace camlink
