#pragma once

#include "camera_link/Camlink.h"
#include "camera_link/CameraUrl.h"

#include <atomic>
#include <chrono>
#include <string>

extern "C" {
struct AVFormatContext;
struct AVPacket;
struct AVBSFContext;
}

namespace camlink {

// Ends blocking libavformat calls: at once when cancelled, or when the current deadline
// passes. Shared by the thread that waits and any thread that cancels.
class Interrupter {
public:
    void Cancel() { cancelled_ = true; }
    void Reset() { cancelled_ = false; }
    bool Cancelled() const { return cancelled_; }
    // Starts a new wait of at most `limit`.
    void Arm(std::chrono::milliseconds limit);
    bool Expired() const;
    // Within half a second of the deadline, or past it.
    bool NearlyExpired() const;
    // libavformat's interrupt callback; `opaque` is the Interrupter.
    static int Check(void* opaque);

private:
    std::atomic<bool> cancelled_{false};
    std::atomic<int64_t> deadline_ns_{0};
};

// One open RTSP session: libavformat's RTSP client with the link's options, the chosen
// video stream (H.264, H.265 or Motion JPEG) and sound stream (G.711 or AAC), and the
// filter that puts the parameter sets before every key frame. Used by one thread at a time.
class RtspInput {
public:
    static constexpr std::chrono::milliseconds kConnectLimit{5000};
    static constexpr std::chrono::milliseconds kReadLimit{5000};

    explicit RtspInput(Interrupter& interrupter) : interrupter_(interrupter) {}
    ~RtspInput();
    RtspInput(const RtspInput&) = delete;
    RtspInput& operator=(const RtspInput&) = delete;

    // Connects, asks for the description, sets the streams up and (unless `describeOnly`)
    // reads until every chosen stream's format is known. Returns a CML_ code; `why` gets a
    // line for the trace.
    int Open(const CameraAddress& address, int transport, std::string* why,
             bool describeOnly = false);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }

    CML_MEDIA_INFO MediaInfo() const { return info_; }
    int VideoIndex() const { return videoIndex_; }
    int AudioIndex() const { return audioIndex_; }
    AVFormatContext* Context() const { return context_; }

    // Reads the next packet of a chosen stream (others are skipped). 0, or an AVERROR.
    // Video packets come with their parameter sets in band before key frames.
    int Read(AVPacket* packet);
    // Milliseconds of the packet's presentation time on the camera's clock (wraps).
    int StampMs(const AVPacket* packet) const;

private:
    int ReadVideoFiltered(AVPacket* packet);

    Interrupter& interrupter_;
    AVFormatContext* context_ = nullptr;
    AVBSFContext* parameterSets_ = nullptr;  // dump_extra before key frames (H.264/H.265)
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    bool timedOut_ = false;  // a read ran into its limit: the session is lost
    CML_MEDIA_INFO info_{};
};

// Maps a libavformat error of an open to a CML_ code.
int ResultOfOpen(int averror, const Interrupter& interrupter);

}  // namespace camlink
