// The sound device on the host's sound server (the simple blocking client API).
//
// A feeder thread takes the queue in 20 ms pieces and hands them to the server, which
// paces the thread by blocking. The played count is what has been handed over minus what
// the server still holds, measured after each hand-over and carried forward by the steady
// clock between measurements. When the server goes away mid-stream the feeder keeps
// consuming at the wall-clock rate, so playback clocks do not stop.
//
// Lock order: lock_ only; the server calls run outside it, on the feeder thread (the
// stream is touched by that thread alone once the device is open).

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/AudioInternal.h"

namespace platform::audio_internal {

namespace {

using Clock = std::chrono::steady_clock;

// Server-side buffering asked for: short, so that pause and flush take effect quickly.
constexpr uint32_t kServerBufferMs = 60;
constexpr uint32_t kPieceMs = 20;

pa_sample_spec SampleSpec(const AudioFormat& format, double rate) {
  pa_sample_spec spec{};
  spec.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  spec.channels = static_cast<uint8_t>(format.channels);
  spec.rate = static_cast<uint32_t>(format.samplesPerSecond * rate);
  return spec;
}

// `server`: the server address, empty for the client library's own choice.
pa_simple* OpenStream(const std::string& server, const AudioFormat& format, double rate, std::string& why) {
  const pa_sample_spec spec = SampleSpec(format, rate);
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kServerBufferMs * 1000ull, &spec));
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(server.empty() ? nullptr : server.c_str(), "CCTV suite", PA_STREAM_PLAYBACK, nullptr, "playback", &spec, nullptr,
                                    &attributes, &error);
  if (stream == nullptr) why = pa_strerror(error);
  return stream;
}

class ServerDevice final : public AudioDevice {
 public:
  ServerDevice(const AudioFormat& format, uint32_t queue_bytes, std::string server, pa_simple* stream)
      : AudioDevice(AudioBackend::Default, format, queue_bytes),
        server_(std::move(server)),
        queue_(queue_bytes),
        stream_(stream) {
    measured_at_ = Clock::now();
    feeder_ = std::thread([this] { Feed(); });
  }

  ~ServerDevice() override { Close(); }

  bool Write(const void* data, std::size_t bytes) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_ || data == nullptr || bytes == 0 || bytes % Format().BlockAlign() != 0) return false;
    if (!queue_.Push(static_cast<const uint8_t*>(data), bytes)) return false;
    wake_.notify_all();
    return true;
  }

  uint64_t PlayedBytes() const override {
    std::lock_guard<std::mutex> hold(lock_);
    // Between measurements the server keeps playing what it holds.
    const double seconds = std::chrono::duration<double>(Clock::now() - measured_at_).count();
    const double since = seconds * Format().BytesPerSecond() * rate_;
    const double estimate = static_cast<double>(played_at_measure_) + since;
    const uint64_t played = std::min<uint64_t>(handed_, static_cast<uint64_t>(estimate));
    reported_ = std::max(reported_, played);  // never runs backwards
    return reported_;
  }

  uint32_t QueuedBytes() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<uint32_t>(queue_.Size());
  }

  void SetPaused(bool paused) override {
    std::lock_guard<std::mutex> hold(lock_);
    paused_ = paused;
    wake_.notify_all();
  }

  bool IsPaused() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return paused_;
  }

  bool SetVolume(double gain) override {
    if (!ValidGain(gain)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    gain_ = gain;
    return true;
  }

  double Volume() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return gain_;
  }

  bool SetRate(double factor) override {
    if (!ValidRateFactor(Format(), factor)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    if (factor != rate_) {
      rate_ = factor;
      rate_changed_ = true;
      wake_.notify_all();
    }
    return true;
  }

  double Rate() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return rate_;
  }

  void Flush() override {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.Clear();
    flush_requested_ = true;
    wake_.notify_all();
  }

  bool Drain(uint32_t timeout_ms) override {
    std::unique_lock<std::mutex> hold(lock_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    return drained_.wait_until(hold, deadline, [this] { return queue_.Size() == 0 || paused_ || closed_; }) &&
           queue_.Size() == 0;
  }

  void Close() override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (closed_) return;
      closed_ = true;
      queue_.Clear();
      wake_.notify_all();
      drained_.notify_all();
    }
    feeder_.join();
    if (stream_ != nullptr) {
      // Dropping what the server holds makes Close take effect at once, like stopping a
      // sound buffer.
      pa_simple_flush(stream_, nullptr);
      pa_simple_free(stream_);
      stream_ = nullptr;
    }
  }

 private:
  void Feed() {
    const uint32_t frame = Format().BlockAlign();
    const std::size_t piece_bytes = std::max<std::size_t>(frame, Format().BytesPerSecond() * kPieceMs / 1000 / frame * frame);
    std::vector<uint8_t> piece(piece_bytes);
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [this] {
        return closed_ || flush_requested_ || rate_changed_ || (!paused_ && queue_.Size() > 0);
      });
      if (closed_) return;
      if (flush_requested_) {
        flush_requested_ = false;
        hold.unlock();
        if (stream_ != nullptr) pa_simple_flush(stream_, nullptr);
        hold.lock();
        Measure(0);
        continue;
      }
      if (rate_changed_) {
        rate_changed_ = false;
        const double rate = rate_;
        hold.unlock();
        ReopenStream(rate);
        hold.lock();
        continue;
      }
      const std::size_t bytes = queue_.Pop(piece.data(), piece_bytes);
      const double gain = gain_;
      const double rate = rate_;
      if (queue_.Size() == 0) drained_.notify_all();
      hold.unlock();

      ApplyGain(Format(), piece.data(), bytes, gain);
      uint64_t held_bytes = 0;
      if (stream_ != nullptr) {
        int error = 0;
        if (pa_simple_write(stream_, piece.data(), bytes, &error) < 0) {
          Diagnostic(std::string("Audio: the sound server stopped taking sound (") + pa_strerror(error) +
                     "); sound plays silently");
          pa_simple_free(stream_);
          stream_ = nullptr;
        } else {
          const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
          if (latency != static_cast<pa_usec_t>(-1)) {
            held_bytes = static_cast<uint64_t>(latency * (Format().BytesPerSecond() * rate) / 1e6);
          }
        }
      }
      if (stream_ == nullptr) {
        // No server: consume at the wall-clock rate, as the null device does.
        const double seconds = static_cast<double>(bytes) / (Format().BytesPerSecond() * rate);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      }

      hold.lock();
      handed_ += bytes;
      Measure(held_bytes);
    }
  }

  // With lock_ held: the played count is what was handed over minus what the server holds.
  void Measure(uint64_t held_bytes) {
    const uint64_t held = std::min(held_bytes, handed_);
    played_at_measure_ = std::max(reported_, handed_ - held);
    measured_at_ = Clock::now();
  }

  // Feeder thread only: the server cannot change a stream's rate, so the stream is replaced.
  // The old stream plays out and closes only after the new one exists, so the server's
  // output never goes idle in between.
  void ReopenStream(double rate) {
    if (stream_ != nullptr) pa_simple_drain(stream_, nullptr);
    std::string why;
    pa_simple* replacement = OpenStream(server_, Format(), rate, why);
    if (stream_ != nullptr) pa_simple_free(stream_);
    stream_ = replacement;
    if (stream_ == nullptr) {
      Diagnostic("Audio: the sound server refused the new rate (" + why + "); sound plays silently");
    }
  }

  // The server the device first reached; a reopened stream goes to the same one even if the
  // environment changed since.
  const std::string server_;
  mutable std::mutex lock_;
  std::condition_variable wake_;     // feeder: work to do
  std::condition_variable drained_;  // Drain(): the queue emptied
  // Guarded by lock_:
  ByteRing queue_;
  bool paused_ = false;
  bool closed_ = false;
  bool flush_requested_ = false;
  bool rate_changed_ = false;
  double gain_ = 1.0;
  double rate_ = 1.0;
  uint64_t handed_ = 0;             // bytes given to the server (or consumed without one)
  uint64_t played_at_measure_ = 0;  // played count at the last measurement
  Clock::time_point measured_at_;
  mutable uint64_t reported_ = 0;   // the largest played count reported
  // Feeder thread only after construction; Close() after the feeder ended:
  pa_simple* stream_;
  std::thread feeder_;
};

}  // namespace

std::unique_ptr<AudioDevice> OpenServerDevice(const AudioFormat& format, uint32_t queue_bytes, std::string& why) {
  const char* server = std::getenv("PULSE_SERVER");
  std::string address = server != nullptr ? server : "";
  pa_simple* stream = OpenStream(address, format, 1.0, why);
  if (stream == nullptr) return nullptr;
  return std::make_unique<ServerDevice>(format, queue_bytes, std::move(address), stream);
}

}  // namespace platform::audio_internal
