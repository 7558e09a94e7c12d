// The null and WAV-file sound devices. Neither has a thread: the queue is consumed lazily,
// on every call, by the time the steady clock says has passed since the previous call,
// so the played count advances exactly at the format's rate.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "platform/AudioInternal.h"

namespace platform::audio_internal {

namespace {

using Clock = std::chrono::steady_clock;

void PutLe32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

constexpr std::size_t kWavHeaderBytes = 44;
// The RIFF size field is 32 bits; data beyond this would make the header lie.
constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - (kWavHeaderBytes - 8);

class ClockedDevice final : public AudioDevice {
 public:
  ClockedDevice(const AudioFormat& format, uint32_t queue_bytes, std::FILE* wav, std::string wav_path,
                uint64_t wav_data_bytes)
      : AudioDevice(wav != nullptr ? AudioBackend::WavFile : AudioBackend::Null, format, queue_bytes),
        queue_(queue_bytes),
        last_(Clock::now()),
        wav_(wav),
        wav_path_(std::move(wav_path)),
        wav_data_bytes_(wav_data_bytes) {}

  ~ClockedDevice() override { Close(); }

  bool Write(const void* data, std::size_t bytes) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_ || data == nullptr || bytes == 0 || bytes % Format().BlockAlign() != 0) return false;
    Advance();
    return queue_.Push(static_cast<const uint8_t*>(data), bytes);
  }

  uint64_t PlayedBytes() const override {
    std::lock_guard<std::mutex> hold(lock_);
    Advance();
    return played_;
  }

  uint32_t QueuedBytes() const override {
    std::lock_guard<std::mutex> hold(lock_);
    Advance();
    return static_cast<uint32_t>(queue_.Size());
  }

  void SetPaused(bool paused) override {
    std::lock_guard<std::mutex> hold(lock_);
    Advance();
    paused_ = paused;
  }

  bool IsPaused() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return paused_;
  }

  bool SetVolume(double gain) override {
    if (!ValidGain(gain)) return false;
    std::lock_guard<std::mutex> hold(lock_);
    Advance();
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
    Advance();
    rate_ = factor;
    return true;
  }

  double Rate() const override {
    std::lock_guard<std::mutex> hold(lock_);
    return rate_;
  }

  void Flush() override {
    std::lock_guard<std::mutex> hold(lock_);
    Advance();
    queue_.Clear();
    credit_ = 0;
  }

  bool Drain(uint32_t timeout_ms) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      std::chrono::microseconds rest{0};
      {
        std::lock_guard<std::mutex> hold(lock_);
        Advance();
        if (queue_.Size() == 0) return true;
        if (paused_ || closed_) return false;
        const double seconds = static_cast<double>(queue_.Size()) / (Format().BytesPerSecond() * rate_);
        rest = std::chrono::microseconds(static_cast<int64_t>(seconds * 1e6) + 500);
      }
      const auto now = Clock::now();
      if (now >= deadline) return false;
      std::this_thread::sleep_until(std::min(deadline, now + std::min(rest, std::chrono::microseconds(20000))));
    }
  }

  void Close() override {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_) return;
    Advance();
    closed_ = true;
    queue_.Clear();
    if (wav_ != nullptr) {
      if (std::fclose(wav_) != 0) Diagnostic("Audio: closing the WAV file " + wav_path_ + " failed");
      wav_ = nullptr;
    }
  }

 private:
  // Plays what the time since the last call allows. A starved queue banks no time: when it
  // runs dry the clock stops, and new sound starts playing from the moment it is written.
  void Advance() const {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    if (paused_ || closed_ || queue_.Size() == 0) {
      credit_ = 0;
      return;
    }
    credit_ += seconds * Format().BytesPerSecond() * rate_;
    const uint32_t frame = Format().BlockAlign();
    const auto owed = static_cast<uint64_t>(std::floor(credit_ / frame)) * frame;
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(owed, queue_.Size()));
    if (wav_ != nullptr) {
      chunk_.resize(take);
      queue_.Pop(chunk_.data(), take);
      AppendToWav(chunk_.data(), take);
    } else {
      queue_.Pop(nullptr, take);
    }
    played_ += take;
    credit_ = queue_.Size() == 0 ? 0 : credit_ - static_cast<double>(take);
  }

  void AppendToWav(uint8_t* data, std::size_t bytes) const {
    if (wav_failed_ || bytes == 0) return;
    if (wav_data_bytes_ + bytes > kWavMaxDataBytes) {
      Diagnostic("Audio: the WAV file " + wav_path_ + " reached its 4 GiB limit; later sound is not recorded");
      wav_failed_ = true;
      return;
    }
    ApplyGain(Format(), data, bytes, gain_);
    // The header is brought up to date after every append so the file is valid even if the
    // process ends without closing the device.
    uint8_t sizes[4];
    bool ok = std::fwrite(data, 1, bytes, wav_) == bytes;
    wav_data_bytes_ += bytes;
    PutLe32(sizes, static_cast<uint32_t>(wav_data_bytes_ + kWavHeaderBytes - 8));
    ok = ok && std::fseek(wav_, 4, SEEK_SET) == 0 && std::fwrite(sizes, 1, 4, wav_) == 4;
    PutLe32(sizes, static_cast<uint32_t>(wav_data_bytes_));
    ok = ok && std::fseek(wav_, 40, SEEK_SET) == 0 && std::fwrite(sizes, 1, 4, wav_) == 4;
    ok = ok && std::fseek(wav_, 0, SEEK_END) == 0 && std::fflush(wav_) == 0;
    if (!ok) {
      Diagnostic("Audio: writing the WAV file " + wav_path_ + " failed; later sound is not recorded");
      wav_failed_ = true;
    }
  }

  // Everything below is guarded by lock_. The clock state is mutable because the queries
  // advance it.
  mutable std::mutex lock_;
  mutable ByteRing queue_;
  mutable uint64_t played_ = 0;
  mutable double credit_ = 0;  // bytes of play time not yet taken from the queue
  mutable Clock::time_point last_;
  mutable std::vector<uint8_t> chunk_;
  bool paused_ = false;
  bool closed_ = false;
  double gain_ = 1.0;
  double rate_ = 1.0;
  std::FILE* wav_;
  const std::string wav_path_;
  mutable uint64_t wav_data_bytes_;
  mutable bool wav_failed_ = false;
};

}  // namespace

// WAV files this process has written, so that a device opened again on the same file (sound
// stopped and started again) continues it rather than wiping what was played before.
namespace {
std::mutex g_wavFilesLock;
std::set<std::string> g_wavFiles;  // Guarded by g_wavFilesLock
}  // namespace

std::unique_ptr<AudioDevice> OpenClockedDevice(const AudioFormat& format, uint32_t queue_bytes,
                                               const std::string* wav_path) {
  if (wav_path == nullptr) return std::make_unique<ClockedDevice>(format, queue_bytes, nullptr, std::string(), 0);

  uint8_t header[kWavHeaderBytes] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  PutLe32(header + 4, kWavHeaderBytes - 8);
  PutLe32(header + 16, 16);  // PCM format record size
  PutLe16(header + 20, 1);   // PCM
  PutLe16(header + 22, format.channels);
  PutLe32(header + 24, format.samplesPerSecond);
  PutLe32(header + 28, format.BytesPerSecond());
  PutLe16(header + 32, static_cast<uint16_t>(format.BlockAlign()));
  PutLe16(header + 34, format.bitsPerSample);
  std::memcpy(header + 36, "data", 4);
  PutLe32(header + 40, 0);

  std::lock_guard<std::mutex> hold(g_wavFilesLock);
  if (g_wavFiles.count(*wav_path) != 0) {
    // Continue our own earlier file when it still is exactly what we left: same format and
    // a data size that matches its length. Anything else starts a new file.
    if (std::FILE* file = std::fopen(wav_path->c_str(), "r+b")) {
      uint8_t existing[kWavHeaderBytes];
      const bool read = std::fread(existing, 1, sizeof existing, file) == sizeof existing;
      const uint64_t data_bytes = read ? (existing[40] | existing[41] << 8 | existing[42] << 16 |
                                          static_cast<uint64_t>(existing[43]) << 24)
                                       : 0;
      const bool same_format = read && std::memcmp(existing + 8, header + 8, 32) == 0 &&
                               std::memcmp(existing, header, 4) == 0;
      if (same_format && std::fseek(file, 0, SEEK_END) == 0 &&
          static_cast<uint64_t>(std::ftell(file)) == kWavHeaderBytes + data_bytes) {
        return std::make_unique<ClockedDevice>(format, queue_bytes, file, *wav_path, data_bytes);
      }
      std::fclose(file);
    }
  }

  std::FILE* file = std::fopen(wav_path->c_str(), "wb");
  if (file == nullptr) {
    Diagnostic("Audio: cannot create the WAV file " + *wav_path);
    return nullptr;
  }
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header || std::fflush(file) != 0) {
    Diagnostic("Audio: cannot write the WAV file " + *wav_path);
    std::fclose(file);
    return nullptr;
  }
  g_wavFiles.insert(*wav_path);
  return std::make_unique<ClockedDevice>(format, queue_bytes, file, *wav_path, 0);
}

}  // namespace platform::audio_internal
