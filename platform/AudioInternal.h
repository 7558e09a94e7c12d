#pragma once

// Pieces shared by the audio backends; not part of the platform's interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Audio.h"

namespace platform::audio_internal {

// Sends one diagnostic line to the sink set by SetAudioDiagnosticSink (standard error
// without one).
void Diagnostic(const std::string& line);

// A fixed-capacity byte FIFO. Not synchronised: each device guards its queue with its own lock.
class ByteRing {
 public:
  explicit ByteRing(std::size_t capacity) : buffer_(capacity) {}
  std::size_t Capacity() const { return buffer_.size(); }
  std::size_t Size() const { return size_; }
  // All of `bytes` or nothing.
  bool Push(const uint8_t* data, std::size_t bytes);
  // Takes up to `bytes` from the front into `out` (may be null to discard); returns how many.
  std::size_t Pop(uint8_t* out, std::size_t bytes);
  void Clear() { head_ = size_ = 0; }

 private:
  std::vector<uint8_t> buffer_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

// What every device takes from SetVolume and SetRate: a gain from 0 (silent) to 1 (as
// recorded), and a rate factor whose played sample rate stays within 100 Hz to 200 kHz.
bool ValidGain(double gain);
bool ValidRateFactor(const AudioFormat& format, double factor);

// Scales the samples of `data` in place by `gain` (0..1), for 8-bit unsigned or 16-bit
// signed little-endian PCM.
void ApplyGain(const AudioFormat& format, uint8_t* data, std::size_t bytes, double gain);

// A device clocked by the steady clock: null, or with `wav_path` a WAV-file recorder.
// Null (with a diagnostic line) when the WAV file cannot be created.
std::unique_ptr<AudioDevice> OpenClockedDevice(const AudioFormat& format, uint32_t queue_bytes,
                                               const std::string* wav_path);

// A device on the host's sound server. Null when no server accepts the stream; `why` then
// says what the server library reported.
std::unique_ptr<AudioDevice> OpenServerDevice(const AudioFormat& format, uint32_t queue_bytes, std::string& why);

}  // namespace platform::audio_internal
