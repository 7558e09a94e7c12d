#include "platform/Audio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/AudioInternal.h"
#include "platform/TimeText.h"

namespace platform {

namespace {

// The program's diagnostic sink; process-wide because every device reports through it.
std::mutex g_sinkLock;
std::function<void(const std::string&)> g_sink;  // Guarded by g_sinkLock

}  // namespace

namespace audio_internal {

void Diagnostic(const std::string& line) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> hold(g_sinkLock);
    sink = g_sink;
  }
  if (sink) {
    sink(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

bool ByteRing::Push(const uint8_t* data, std::size_t bytes) {
  if (bytes > buffer_.size() - size_) return false;
  std::size_t tail = (head_ + size_) % buffer_.size();
  const std::size_t first = std::min(bytes, buffer_.size() - tail);
  std::memcpy(buffer_.data() + tail, data, first);
  std::memcpy(buffer_.data(), data + first, bytes - first);
  size_ += bytes;
  return true;
}

std::size_t ByteRing::Pop(uint8_t* out, std::size_t bytes) {
  bytes = std::min(bytes, size_);
  const std::size_t first = std::min(bytes, buffer_.size() - head_);
  if (out != nullptr) {
    std::memcpy(out, buffer_.data() + head_, first);
    std::memcpy(out + first, buffer_.data(), bytes - first);
  }
  head_ = (head_ + bytes) % buffer_.size();
  size_ -= bytes;
  if (size_ == 0) head_ = 0;
  return bytes;
}

bool ValidGain(double gain) { return gain >= 0.0 && gain <= 1.0; }

bool ValidRateFactor(const AudioFormat& format, double factor) {
  const double rate = format.samplesPerSecond * factor;
  return rate >= 100.0 && rate <= 200000.0;
}

void ApplyGain(const AudioFormat& format, uint8_t* data, std::size_t bytes, double gain) {
  if (gain >= 1.0) return;
  if (format.bitsPerSample == 16) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
      const int16_t sample = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
      const int16_t scaled = static_cast<int16_t>(sample * gain);
      data[i] = static_cast<uint8_t>(scaled & 0xFF);
      data[i + 1] = static_cast<uint8_t>((scaled >> 8) & 0xFF);
    }
  } else {
    for (std::size_t i = 0; i < bytes; ++i) {
      data[i] = static_cast<uint8_t>(128 + static_cast<int>((data[i] - 128) * gain));
    }
  }
}

}  // namespace audio_internal

bool AudioFormat::IsValid() const {
  return (bitsPerSample == 8 || bitsPerSample == 16) && channels >= 1 && channels <= 8 &&
         samplesPerSecond >= 100 && samplesPerSecond <= 200000;
}

std::optional<AudioChoice> ParseAudioChoice(std::string_view text) {
  AudioChoice choice;
  if (EqualsNoCase(text, "default")) {
    choice.backend = AudioBackend::Default;
    return choice;
  }
  if (EqualsNoCase(text, "null")) {
    choice.backend = AudioBackend::Null;
    return choice;
  }
  if (text.size() > 4 && EqualsNoCase(text.substr(0, 4), "wav:")) {
    choice.backend = AudioBackend::WavFile;
    choice.wavPath = std::string(text.substr(4));
    return choice;
  }
  return std::nullopt;
}

AudioChoice AudioChoiceFromEnvironment() {
  const char* value = std::getenv("KORVEL_AUDIO");
  if (value == nullptr || *value == '\0') return AudioChoice{};
  if (auto choice = ParseAudioChoice(value)) return *choice;
  audio_internal::Diagnostic(std::string("Audio: KORVEL_AUDIO=\"") + value +
                             "\" is not default, null or wav:PATH; using the default device");
  return AudioChoice{};
}

void SetAudioDiagnosticSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> hold(g_sinkLock);
  g_sink = std::move(sink);
}

std::unique_ptr<AudioDevice> AudioDevice::Open(const AudioFormat& format, uint32_t queue_bytes) {
  return Open(AudioChoiceFromEnvironment(), format, queue_bytes);
}

std::unique_ptr<AudioDevice> AudioDevice::Open(const AudioChoice& choice, const AudioFormat& format,
                                               uint32_t queue_bytes) {
  if (!format.IsValid()) {
    audio_internal::Diagnostic("Audio: cannot open a device for " + std::to_string(format.samplesPerSecond) +
                               " Hz, " + std::to_string(format.channels) + " channels, " +
                               std::to_string(format.bitsPerSample) + " bits");
    return nullptr;
  }
  const uint32_t frame = format.BlockAlign();
  if (queue_bytes == 0) queue_bytes = format.BytesPerSecond();
  queue_bytes = std::max(frame, queue_bytes / frame * frame);

  switch (choice.backend) {
    case AudioBackend::Default: {
      std::string why;
      if (auto device = audio_internal::OpenServerDevice(format, queue_bytes, why)) return device;
      audio_internal::Diagnostic("Audio: no sound server reachable (" + why + "); sound plays silently");
      return audio_internal::OpenClockedDevice(format, queue_bytes, nullptr);
    }
    case AudioBackend::Null:
      return audio_internal::OpenClockedDevice(format, queue_bytes, nullptr);
    case AudioBackend::WavFile:
      return audio_internal::OpenClockedDevice(format, queue_bytes, &choice.wavPath);
    case AudioBackend::None:
      break;
  }
  return nullptr;
}

}  // namespace platform
