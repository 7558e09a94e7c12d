#pragma once

// One camera channel of the recorder: while anybody watches or listens, a thread makes a
// picture every 1/25 s and the sound in 40 ms blocks, encodes them once and hands the same
// messages to every session that asked for them. With a loop length, the pictures are encoded
// once at start and repeated, until a PTZ command asks for a live picture.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/dvr_sim/Mpeg4Encoder.h"
#include "tools/dvr_sim/SimOptions.h"
#include "tools/dvr_sim/SyntheticCamera.h"

namespace dvr_sim {

class Session;

// Samples per IMA ADPCM block the recorder sends: 321 samples (164 bytes) = 40.125 ms.
inline constexpr int kAudioBlockSamples = 321;
inline constexpr int kAudioBlockBytes = 164;

class ChannelSource {
 public:
  ChannelSource(int channel, const SimOptions& options);
  ~ChannelSource();

  // Pre-encodes the loop when asked for, then starts the thread. False if the encoder fails.
  bool Start();
  void Stop();

  // Adds or removes a session as a viewer (video) or listener (audio). A new viewer gets a key
  // frame next (in live mode).
  void Subscribe(const std::shared_ptr<Session>& session, bool video, bool on);
  void Ptz(uint32_t command);

 private:
  void Run();
  bool EncodeLive(uint64_t frame, bool force_key, EncodedFrame& out);

  const int channel_;
  const SimOptions options_;
  SyntheticCamera camera_;

  std::mutex lock_;
  std::condition_variable wake_;
  // Guarded by lock_.
  std::vector<std::weak_ptr<Session>> viewers_;
  std::vector<std::weak_ptr<Session>> listeners_;
  PtzState ptz_;
  bool live_ = true;
  bool key_wanted_ = true;
  bool stopping_ = false;

  // Channel thread only.
  Mpeg4Encoder encoder_;
  YuvPicture picture_;
  std::vector<EncodedFrame> loop_;  // immutable after Start()
  std::thread thread_;
};

}  // namespace dvr_sim
