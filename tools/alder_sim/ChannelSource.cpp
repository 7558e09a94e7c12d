#include "tools/alder_sim/ChannelSource.h"

#include "decoder_library/AdpcmEncoder.h"
#include "tools/alder_sim/ToneGenerator.h"
#include "tools/alder_sim/Mpeg4Encoder.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace alder {

using Clock = std::chrono::steady_clock;
using ferrow::wire::Header;
using ferrow::wire::Message;
using ferrow::wire::Type;

namespace {

constexpr int kCompressorMpeg4 = 3;
constexpr int kPanStep = 4;

int64_t StampNow()
{
    static const Clock::time_point origin = Clock::now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - origin).count();
}

}  // namespace

ChannelSource::ChannelSource(int channel, int width, int height, int frameRate,
                             int audioBlockBytes, int loopFrames)
    : channel_(channel), frameRate_(frameRate), loopFrames_(loopFrames), width_(width),
      height_(height), audioBlockBytes_(audioBlockBytes)
{
}

ChannelSource::~ChannelSource()
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
}

void ChannelSource::Subscribe(const std::shared_ptr<MediaSink>& sink)
{
    std::lock_guard<std::mutex> lock(lock_);
    sinks_.push_back(sink);
    // A new viewer starts with a key frame instead of waiting for the next second.
    forceKey_ = true;
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
    wake_.notify_all();
}

void ChannelSource::Unsubscribe(const std::shared_ptr<MediaSink>& sink)
{
    std::lock_guard<std::mutex> lock(lock_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

ferrow::wire::MediaInfo ChannelSource::Info() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return ferrow::wire::MediaInfo{width_, height_, kCompressorMpeg4, frameRate_};
}

void ChannelSource::ChangeSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (width == 0) {
        width = width_ == 352 ? 704 : 352;
        height = width == 352 ? 288 : 576;
    }
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    sizeChanged_ = true;
}

void ChannelSource::SetAudioBlockBytes(int bytes)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (bytes != audioBlockBytes_)
        audioRestart_ = true;
    audioBlockBytes_ = bytes;
}

void ChannelSource::SetPlayOff(bool playOff)
{
    std::lock_guard<std::mutex> lock(lock_);
    playOff_ = playOff;
}

bool ChannelSource::Steer(int code, bool start)
{
    std::lock_guard<std::mutex> lock(lock_);
    const int speed = start ? kPanStep : 0;
    switch (code) {
    case 2:  // zoom out: larger squares are nearer, so zooming out makes them smaller
        if (start)
            pose_.squareSize = std::max(8, pose_.squareSize - 8);
        return true;
    case 3:
        if (start)
            pose_.squareSize = std::min(128, pose_.squareSize + 8);
        return true;
    case 8: velocityY_ = -speed; return true;
    case 9: velocityY_ = speed; return true;
    case 10: velocityX_ = -speed; return true;
    case 11: velocityX_ = speed; return true;
    case 12: velocityX_ = start ? kPanStep / 2 : 0; return true;
    case 13:
    case 14:
        velocityX_ = 0;
        velocityY_ = 0;
        return true;
    default:
        // Focus, iris, wiper, lights, presets and scans have no picture to change.
        return code >= 0 && code <= 25;
    }
}

void ChannelSource::Broadcast(const Message& message)
{
    std::vector<std::shared_ptr<MediaSink>> sinks;
    {
        std::lock_guard<std::mutex> lock(lock_);
        sinks = sinks_;
    }
    for (const auto& sink : sinks)
        sink->Push(message);
}

void ChannelSource::Run()
{
    Mpeg4Encoder encoder;
    halvane::AdpcmEncoder adpcm;
    // The looped frames (payload, key) of the size they were encoded at, and the next one.
    std::vector<std::pair<std::vector<uint8_t>, bool>> loop;
    size_t loopNext = 0;
    ToneGenerator tone(300.0 + 50.0 * channel_);
    std::vector<int16_t> samples;
    while (true) {
        {
            std::unique_lock<std::mutex> lock(lock_);
            wake_.wait(lock, [this] { return stopping_ || !sinks_.empty(); });
            if (stopping_)
                return;
        }
        // A fresh timeline each time viewers return, so that no backlog is sent at once.
        const Clock::time_point start = Clock::now();
        int64_t frameIndex = 0;
        int64_t samplesSent = 0;
        while (true) {
            auto videoDue = start + std::chrono::microseconds(frameIndex * 1000000 / frameRate_);
            auto audioDue = start + std::chrono::microseconds(samplesSent * 1000000 / 8000);
            {
                std::unique_lock<std::mutex> lock(lock_);
                if (stopping_)
                    return;
                if (sinks_.empty())
                    break;
                wake_.wait_until(lock, std::min(videoDue, audioDue),
                                 [this] { return stopping_ || sinks_.empty(); });
                if (stopping_)
                    return;
                if (sinks_.empty())
                    break;
            }
            const auto now = Clock::now();
            if (now >= videoDue) {
                int width, height;
                bool sizeChanged, forceKey;
                CameraPose pose;
                {
                    std::lock_guard<std::mutex> lock(lock_);
                    width = width_;
                    height = height_;
                    sizeChanged = sizeChanged_;
                    forceKey = forceKey_;
                    sizeChanged_ = false;
                    forceKey_ = false;
                    pose_.panX += velocityX_;
                    pose_.panY += velocityY_;
                    pose = pose_;
                }
                bool reopened = false;
                if (encoder.width() != width || encoder.height() != height) {
                    std::string error;
                    if (!encoder.Open(width, height, frameRate_, &error)) {
                        std::fprintf(stderr, "alder_sim: channel %d: %s\n", channel_ + 1,
                                     error.c_str());
                        return;
                    }
                    reopened = true;
                }
                if (sizeChanged) {
                    Message format;
                    format.payload = ferrow::wire::EncodeMediaInfo(
                        ferrow::wire::MediaInfo{width, height, kCompressorMpeg4, frameRate_});
                    format.header = Header{Type::Format, static_cast<uint8_t>(channel_), 0,
                                           static_cast<uint32_t>(StampNow()),
                                           static_cast<uint32_t>(format.payload.size())};
                    Broadcast(format);
                }
                Message video;
                bool key = false;
                bool encoded = false;
                if (loopFrames_ > 0) {
                    if (reopened || loop.empty()) {
                        loop.clear();
                        for (int i = 0; i < loopFrames_; ++i) {
                            AVFrame* picture = encoder.Picture();
                            PicturePainter::Paint(picture->data[0], picture->linesize[0],
                                                  picture->data[1], picture->linesize[1],
                                                  picture->data[2], picture->linesize[2], width,
                                                  height, channel_, i, CameraPose{});
                            std::pair<std::vector<uint8_t>, bool> frame;
                            if (encoder.Encode(i == 0, frame.first, frame.second))
                                loop.push_back(std::move(frame));
                        }
                        loopNext = 0;
                    }
                    // A new viewer starts at the loop's first frame, a key frame.
                    if (forceKey || reopened)
                        loopNext = 0;
                    if (!loop.empty()) {
                        video.payload = loop[loopNext].first;
                        key = loop[loopNext].second;
                        loopNext = (loopNext + 1) % loop.size();
                        encoded = true;
                    }
                } else {
                    AVFrame* picture = encoder.Picture();
                    PicturePainter::Paint(picture->data[0], picture->linesize[0],
                                          picture->data[1], picture->linesize[1],
                                          picture->data[2], picture->linesize[2], width, height,
                                          channel_, frameIndex, pose);
                    encoded = encoder.Encode(forceKey || reopened, video.payload, key);
                }
                if (encoded) {
                    video.header = Header{Type::Video, static_cast<uint8_t>(channel_),
                                          key ? ferrow::wire::kVideoKeyFrame : uint16_t(0),
                                          static_cast<uint32_t>(StampNow()),
                                          static_cast<uint32_t>(video.payload.size())};
                    Broadcast(video);
                }
                ++frameIndex;
            }
            if (now >= audioDue) {
                int blockBytes;
                uint16_t flags = 0;
                {
                    std::lock_guard<std::mutex> lock(lock_);
                    blockBytes = audioBlockBytes_;
                    if (audioRestart_)
                        flags |= ferrow::wire::kAudioRestart;
                    if (playOff_)
                        flags |= ferrow::wire::kAudioPlayOff;
                    audioRestart_ = false;
                }
                const int blocks = blockBytes / halvane::AdpcmEncoder::kBlockBytes;
                samples.resize(static_cast<size_t>(blocks) * halvane::AdpcmEncoder::kSamplesPerBlock);
                tone.Generate(samples.data(), static_cast<int>(samples.size()));
                Message audio;
                for (int i = 0; i < blocks; ++i)
                    adpcm.EncodeBlock(samples.data() + i * halvane::AdpcmEncoder::kSamplesPerBlock,
                                      audio.payload);
                audio.header = Header{Type::Audio, static_cast<uint8_t>(channel_), flags,
                                      static_cast<uint32_t>(StampNow()),
                                      static_cast<uint32_t>(audio.payload.size())};
                Broadcast(audio);
                samplesSent += static_cast<int64_t>(samples.size());
            }
        }
    }
}

}  // namespace alder
