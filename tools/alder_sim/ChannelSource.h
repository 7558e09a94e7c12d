#pragma once

#include "device_sdk/Ferrow/FerrowWire.h"
#include "tools/alder_sim/MediaSink.h"
#include "tools/alder_sim/PicturePainter.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace alder {

// One camera channel of the recorder: while anyone watches, a thread paints, encodes and
// hands out video frames at the frame rate and ADPCM blocks at the 8 kHz pace. With
// `loopFrames`, the frames are painted and encoded once, when first needed at a size, and
// then handed out in a loop.
class ChannelSource {
public:
    ChannelSource(int channel, int width, int height, int frameRate, int audioBlockBytes,
                  int loopFrames = 0);
    ~ChannelSource();

    void Subscribe(const std::shared_ptr<MediaSink>& sink);
    void Unsubscribe(const std::shared_ptr<MediaSink>& sink);
    ferrow::wire::MediaInfo Info() const;

    // Changes the picture size; viewers get a format message and then a key frame of the
    // new size. A width of 0 switches between the two sizes.
    void ChangeSize(int width, int height);
    void SetAudioBlockBytes(int bytes);
    void SetPlayOff(bool playOff);
    // Applies a PTZ command (codes of the request payload); false for an unknown code.
    bool Steer(int code, bool start);

private:
    void Run();
    void SendVideo(int64_t frameIndex, int64_t stamp_ms);
    void SendAudio(int64_t stamp_ms);
    void Broadcast(const ferrow::wire::Message& message);

    const int channel_;
    const int frameRate_;
    const int loopFrames_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<MediaSink>> sinks_;  // Guarded by lock_
    int width_;                                      // Guarded by lock_
    int height_;                                     // Guarded by lock_
    bool sizeChanged_ = false;                       // Guarded by lock_
    bool forceKey_ = true;                           // Guarded by lock_
    int audioBlockBytes_;                            // Guarded by lock_
    bool audioRestart_ = false;                      // Guarded by lock_
    bool playOff_ = false;                           // Guarded by lock_
    CameraPose pose_;                                // Guarded by lock_
    int velocityX_ = 0;                              // Guarded by lock_
    int velocityY_ = 0;                              // Guarded by lock_
    bool stopping_ = false;                          // Guarded by lock_
    std::thread thread_;                             // started by the first Subscribe
};

}  // namespace alder
