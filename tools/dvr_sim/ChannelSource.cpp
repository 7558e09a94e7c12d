#include "tools/dvr_sim/ChannelSource.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "device_sdk/Orvane/ImaAdpcm.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "tools/dvr_sim/Session.h"

namespace dvr_sim {
namespace {

using Clock = std::chrono::steady_clock;
namespace wire = orvane::wire;

// Live sessions of `list`, pruning the ones that have gone.
std::vector<std::shared_ptr<Session>> Collect(std::vector<std::weak_ptr<Session>>& list) {
  std::vector<std::shared_ptr<Session>> live;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::weak_ptr<Session>& w) {
                              auto s = w.lock();
                              if (!s || s->finished()) return true;
                              live.push_back(std::move(s));
                              return false;
                            }),
             list.end());
  return live;
}

}  // namespace

ChannelSource::ChannelSource(int channel, const SimOptions& options)
    : channel_(channel), options_(options), camera_(channel, options.width, options.height) {}

ChannelSource::~ChannelSource() { Stop(); }

bool ChannelSource::Start() {
  if (!encoder_.Open(options_.width, options_.height, options_.frame_rate)) return false;
  if (options_.loop_seconds > 0) {
    const int frames = std::max(1, int(options_.loop_seconds * options_.frame_rate));
    const std::time_t now = std::time(nullptr);
    PtzState still;
    for (int i = 0; i < frames; ++i) {
      EncodedFrame out;
      camera_.Render(uint64_t(i), now + i / options_.frame_rate, still, picture_);
      if (!encoder_.Encode(picture_, i == 0, out)) return false;
      loop_.push_back(std::move(out));
    }
    live_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ChannelSource::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ChannelSource::Subscribe(const std::shared_ptr<Session>& session, bool video, bool on) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto& list = video ? viewers_ : listeners_;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const std::weak_ptr<Session>& w) {
                                auto s = w.lock();
                                return !s || s == session;
                              }),
               list.end());
    if (on) list.push_back(session);
    if (on && video) key_wanted_ = true;
  }
  wake_.notify_all();
}

void ChannelSource::Ptz(uint32_t command) {
  std::lock_guard<std::mutex> guard(lock_);
  ptz_.command = command;
  if (command != 0 && !live_) {
    live_ = true;  // a moving head needs pictures made now, not the recorded loop
    key_wanted_ = true;
  }
}

bool ChannelSource::EncodeLive(uint64_t frame, bool force_key, EncodedFrame& out) {
  PtzState ptz;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ptz_.Step();
    ptz = ptz_;
  }
  camera_.Render(frame, std::time(nullptr), ptz, picture_);
  return encoder_.Encode(picture_, force_key, out);
}

void ChannelSource::Run() {
  const auto interval = std::chrono::microseconds(1000000 / options_.frame_rate);
  uint64_t frame = 0;
  size_t loop_position = 0;
  Clock::time_point start = Clock::now(), next = start;
  Clock::time_point audio_start = start;
  uint64_t audio_samples = 0;
  bool had_listeners = false;
  orvane::ImaEncoderState adpcm;
  std::vector<int16_t> pcm(kAudioBlockSamples);
  std::vector<uint8_t> payload;

  std::unique_lock<std::mutex> lock(lock_);
  while (!stopping_) {
    auto viewers = Collect(viewers_);
    auto listeners = Collect(listeners_);
    if (viewers.empty() && listeners.empty()) {
      had_listeners = false;
      wake_.wait(lock, [&] { return stopping_ || !viewers_.empty() || !listeners_.empty(); });
      next = Clock::now();
      continue;
    }
    if (!listeners.empty() && !had_listeners) {
      audio_start = Clock::now();
      audio_samples = 0;
    }
    had_listeners = !listeners.empty();
    const bool force_key = key_wanted_;
    key_wanted_ = false;
    const bool live = live_;
    lock.unlock();

    const uint32_t stamp = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        Clock::now() - start).count());
    if (!viewers.empty()) {
      EncodedFrame encoded;
      const EncodedFrame* send = nullptr;
      if (live) {
        if (EncodeLive(frame, force_key, encoded)) send = &encoded;
      } else {
        send = &loop_[loop_position];
        loop_position = (loop_position + 1) % loop_.size();
      }
      if (send) {
        payload.clear();
        wire::PutU32(payload, stamp);
        payload.push_back(send->key ? 1 : 0);
        payload.insert(payload.end(), 3, 0);
        payload.insert(payload.end(), send->data.begin(), send->data.end());
        auto message = std::make_shared<const std::vector<uint8_t>>(
            wire::BuildMessage(wire::kVideoFrame, uint16_t(channel_), 0, payload));
        for (auto& s : viewers) s->PushLive(channel_, true, send->key, message);
      }
      ++frame;
    }
    if (!listeners.empty()) {
      // Sound follows the steady clock exactly: as many blocks as 8000 samples per second ask.
      const uint64_t due = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                                        Clock::now() - audio_start).count()) * 8 / 1000;
      while (audio_samples + kAudioBlockSamples <= due) {
        camera_.Tone(audio_samples, pcm.data(), kAudioBlockSamples);
        payload.clear();
        wire::PutU32(payload, uint32_t(audio_samples / 8));
        wire::PutU16(payload, kAudioBlockSamples);
        wire::PutU16(payload, 0);
        size_t at = payload.size();
        payload.resize(at + kAudioBlockBytes);
        orvane::ImaEncodeBlock(adpcm, pcm.data(), payload.data() + at, kAudioBlockBytes);
        auto message = std::make_shared<const std::vector<uint8_t>>(
            wire::BuildMessage(wire::kAudioBlock, uint16_t(channel_), 0, payload));
        for (auto& s : listeners) s->PushLive(channel_, false, false, message);
        audio_samples += kAudioBlockSamples;
      }
    }
    viewers.clear();
    listeners.clear();

    lock.lock();
    next += interval;
    const auto now = Clock::now();
    if (next < now - interval * 5) next = now;  // fell far behind: do not burst to catch up
    wake_.wait_until(lock, next, [&] { return stopping_; });
  }
}

}  // namespace dvr_sim
