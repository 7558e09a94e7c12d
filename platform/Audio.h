#pragma once

// The sound output of the suite: one PCM stream played in real time.
//
// A device is opened with a PCM format and a queue size. The caller writes blocks into the
// queue; the device plays them at the format's rate and counts the bytes it has played,
// which is the clock that playback follows. Three backends:
//   - default: the host's sound server; when none is reachable the device falls back to
//     null and says so once through the diagnostic sink;
//   - null:    plays nothing but consumes the queue at the wall-clock rate, so playback
//     clocks advance exactly as with a sound card (unattended runs, tests);
//   - wav:PATH: as null, and everything played is appended to a WAV file at PATH, with the
//     volume applied, so tests can check what a listener would have heard. The first device
//     of a process on PATH starts a new file; later devices of the same format continue it,
//     so sound that stops and starts again ends up in one file.
// Without an explicit choice the environment variable KORVEL_AUDIO picks one ("default",
// "null", "wav:PATH"); unset or empty means default.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Interleaved integer PCM: 8-bit unsigned or 16-bit signed little-endian samples.
struct AudioFormat {
  uint32_t samplesPerSecond = 8000;
  uint16_t channels = 1;
  uint16_t bitsPerSample = 16;

  uint32_t BlockAlign() const { return static_cast<uint32_t>(channels) * bitsPerSample / 8; }
  uint32_t BytesPerSecond() const { return BlockAlign() * samplesPerSecond; }
  // 8 or 16 bits, 1 to 8 channels, 100 to 200,000 samples per second.
  bool IsValid() const;
};

enum class AudioBackend { None, Default, Null, WavFile };

struct AudioChoice {
  AudioBackend backend = AudioBackend::Default;
  std::string wavPath;  // only for WavFile
};

// "default", "null" or "wav:PATH" (a non-empty path; the prefix without case). Anything else
// gives no value.
std::optional<AudioChoice> ParseAudioChoice(std::string_view text);

// The choice KORVEL_AUDIO names; default when it is unset or empty. An unusable value gives
// default with a diagnostic line naming the value.
AudioChoice AudioChoiceFromEnvironment();

// Receives the device's diagnostic lines (fallbacks, a sound server lost, a WAV file that
// cannot be written). A program routes them into its trace; without a sink they go to
// standard error. The sink may be called from any thread; null restores standard error.
void SetAudioDiagnosticSink(std::function<void(const std::string&)> sink);

class AudioDevice {
 public:
  // Opens the device KORVEL_AUDIO names. See the other overload.
  static std::unique_ptr<AudioDevice> Open(const AudioFormat& format, uint32_t queue_bytes = 0);
  // Opens the chosen device for `format` with a queue of `queue_bytes` (0: one second of
  // sound; rounded down to whole sample frames, at least one frame). Null for an invalid
  // format or a WAV file that cannot be created (with a diagnostic line); a default device
  // without a reachable sound server opens as null instead.
  static std::unique_ptr<AudioDevice> Open(const AudioChoice& choice, const AudioFormat& format,
                                           uint32_t queue_bytes = 0);

  // Closes the device (Close()).
  virtual ~AudioDevice() = default;
  AudioDevice(const AudioDevice&) = delete;
  AudioDevice& operator=(const AudioDevice&) = delete;

  // Every member may be called from any thread.

  // Queues `bytes` of PCM (whole sample frames). All or nothing: false, queueing nothing,
  // when the device is closed, `bytes` is 0 or not a whole number of frames, or the queue
  // lacks room for all of it. Never blocks. The caller keeps its buffer; it is copied.
  virtual bool Write(const void* data, std::size_t bytes) = 0;
  // Bytes played since the device was opened (source bytes, whatever the rate). Grows while
  // the device is playing and sound is queued; stands still while paused or starved.
  virtual uint64_t PlayedBytes() const = 0;
  // Bytes written and not yet played.
  virtual uint32_t QueuedBytes() const = 0;
  uint32_t FreeBytes() const { return QueueBytes() - QueuedBytes(); }

  // Stops or resumes playing. Queued sound is kept while paused.
  virtual void SetPaused(bool paused) = 0;
  virtual bool IsPaused() const = 0;
  // Linear gain, 0.0 (silent) to 1.0 (as written). False for values outside that range.
  virtual bool SetVolume(double gain) = 0;
  virtual double Volume() const = 0;
  // Plays the stream `factor` times faster (pitch follows, as on a sound card run at another
  // sample rate). False, changing nothing, unless the resulting rate is within the range
  // AudioFormat::IsValid accepts.
  virtual bool SetRate(double factor) = 0;
  virtual double Rate() const = 0;
  // Drops the queued sound; the played count stays.
  virtual void Flush() = 0;
  // Waits until the queue is empty; false when `timeout_ms` passes first or the device is
  // paused with sound queued.
  virtual bool Drain(uint32_t timeout_ms) = 0;
  // Stops playing, drops the queue, releases the backend (a WAV file is complete after
  // this). Later writes fail; the counters keep their values. Idempotent.
  virtual void Close() = 0;

  const AudioFormat& Format() const { return format_; }
  uint32_t QueueBytes() const { return queue_bytes_; }
  // The backend actually in use (Null after a fallback).
  AudioBackend Backend() const { return backend_; }

 protected:
  AudioDevice(AudioBackend backend, const AudioFormat& format, uint32_t queue_bytes)
      : backend_(backend), format_(format), queue_bytes_(queue_bytes) {}

 private:
  const AudioBackend backend_;
  const AudioFormat format_;
  const uint32_t queue_bytes_;
};

}  // namespace platform
