#pragma once

// The library's one sound stream: 16-bit mono PCM at 8000 samples per second on the platform
// audio device, fed block by block from decoding threads while the user-interface thread may
// pause it.

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Audio.h"

namespace glimmet {

class SoundOutput {
 public:
  // Opens the device (KORVEL_AUDIO chooses the backend) if it is not open. A GL_ code.
  int Open();
  // Closes the device; a later Begin opens it again.
  void Close();
  // (Re)starts the stream for blocks of `block_bytes`; drops what is queued.
  int Begin(int block_bytes);
  // Queues one block of the announced length.
  int Play(const uint8_t* block);
  // Stops at once and drops what is queued, until the next Begin.
  int Pause();

  // Sound queued beyond this is latency nobody wants in live sound: the older part is
  // dropped so the newest block plays next.
  static constexpr uint32_t kQueueBytes = 2 * 16000;

 private:
  std::mutex lock_;
  // Guarded by lock_.
  std::unique_ptr<platform::AudioDevice> device_;
  int block_bytes_ = 0;  // 0: not started (or paused)
};

}  // namespace glimmet
