#include "player_engine/sound/DirectSoundOutput.h"

#include <cmath>
#include <mutex>

#include "common/TraceMessage.h"

namespace pellix {

namespace {
constexpr uint32_t kTickMs = 100;
// A refill stops after this many callbacks, whatever they wrote.
constexpr int kMaxCallsPerFill = 64;
}  // namespace

DirectSoundOutput::~DirectSoundOutput() { Close(); }

void DirectSoundOutput::SetDataCallback(void* user, SoundDataCallback callback) {
    std::lock_guard guard(lock_);
    callback_user_ = user;
    callback_ = callback;
}

bool DirectSoundOutput::Open(void* window, const platform::WAVEFORMATEX* format) {
    Close();
    if (window == nullptr || format == nullptr || format->nAvgBytesPerSec == 0) return false;
    platform::AudioFormat pcm;
    pcm.samplesPerSecond = format->nSamplesPerSec;
    pcm.channels = format->nChannels;
    pcm.bitsPerSample = format->wBitsPerSample;
    if (!pcm.IsValid() || pcm.BytesPerSecond() != format->nAvgBytesPerSec) return false;
    std::unique_ptr<platform::AudioDevice> device = platform::AudioDevice::Open(pcm, format->nAvgBytesPerSec);
    if (!device) return false;
    device->SetPaused(true);
    std::lock_guard guard(lock_);
    device_ = std::move(device);
    format_ = *format;
    format_.cbSize = 0;
    base_frequency_ = frequency_ = format->nSamplesPerSec;
    buffer_bytes_ = format->nAvgBytesPerSec;
    buffer_ms_ = buffer_bytes_ / format->nAvgBytesPerSec * 1000;
    played_base_ = 0;
    device_mark_ = device_->PlayedBytes();
    bytes_written_ = 0;
    return true;
}

bool DirectSoundOutput::Write(const uint8_t* bytes, uint32_t count) {
    TraceMessage("nSize:%d       ???????????????????????????", static_cast<int>(count));
    std::lock_guard guard(lock_);
    if (!device_ || bytes == nullptr || count == 0) return false;
    if (!device_->Write(bytes, count)) return false;
    bytes_written_ += count;
    return true;
}

int DirectSoundOutput::VolumeLevelOf(uint16_t volume) {
    return static_cast<int>(static_cast<double>(volume) / 65535.0 * 10000.0 - 10000.0);
}

bool DirectSoundOutput::SetVolume(uint16_t volume) {
    const int level = VolumeLevelOf(volume);
    TraceMessage("vvv: %d", level);
    std::lock_guard guard(lock_);
    if (!device_) return false;
    // Hundredths of a decibel to a linear gain; the lowest level is silence.
    const double gain = level <= -10000 ? 0.0 : std::pow(10.0, level / 2000.0);
    if (!device_->SetVolume(gain)) return false;
    volume_level_ = level;
    return true;
}

uint64_t DirectSoundOutput::PlayedBytesLocked() const {
    if (!device_) return played_base_;
    return played_base_ + (device_->PlayedBytes() - device_mark_);
}

uint32_t DirectSoundOutput::PlayedTimeMs() const {
    std::lock_guard guard(lock_);
    const long double per_second = static_cast<long double>(format_.nBlockAlign) * format_.nSamplesPerSec;
    if (per_second <= 0) return 0;
    return static_cast<uint32_t>(static_cast<long double>(PlayedBytesLocked()) * 1000.0L / per_second);
}

void DirectSoundOutput::SetPosition(uint32_t bytes) {
    std::lock_guard guard(lock_);
    played_base_ = bytes;
    device_mark_ = device_ ? device_->PlayedBytes() : 0;
    bytes_written_ = bytes + kPieceBytes;
}

uint32_t DirectSoundOutput::QueuedTimeMs() const {
    std::lock_guard guard(lock_);
    if (!device_ || format_.nAvgBytesPerSec == 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(device_->QueuedBytes()) * 1000 / format_.nAvgBytesPerSec);
}

bool DirectSoundOutput::SetRate(double factor) {
    std::lock_guard guard(lock_);
    if (!device_ || !(factor > 0.0)) return false;
    const uint32_t frequency = static_cast<uint32_t>(base_frequency_ * factor);
    if (!device_->SetRate(static_cast<double>(frequency) / base_frequency_)) return false;
    frequency_ = frequency;
    return true;
}

void DirectSoundOutput::FillLocked() {
    for (int call = 0; call < kMaxCallsPerFill && callback_ != nullptr && callback_user_ != nullptr; ++call) {
        if (QueuedTimeMs() * 4 >= buffer_ms_ * 3) return;
        const uint32_t before = bytes_written_;
        callback_(callback_user_, 0, 0);
        if (bytes_written_ == before) return;   // the queue took nothing more
    }
}

void DirectSoundOutput::Tick() {
    std::lock_guard guard(lock_);
    if (!started_ || paused_) return;
    FillLocked();
}

bool DirectSoundOutput::Start() {
    std::lock_guard control(control_lock_);
    {
        std::lock_guard guard(lock_);
        if (started_ || !device_) return false;
        device_->Flush();
        played_base_ = 0;
        device_mark_ = device_->PlayedBytes();
    }
    timer_.Start(kTickMs, [this] { Tick(); });
    std::lock_guard guard(lock_);
    device_->SetPaused(false);
    started_ = true;
    paused_ = false;
    FillLocked();
    return true;
}

bool DirectSoundOutput::PauseToggle() {
    std::lock_guard control(control_lock_);
    if (!started_) return false;
    if (paused_) {
        {
            std::lock_guard guard(lock_);
            if (!device_) return false;
            device_->SetPaused(false);
            paused_ = false;
        }
        return timer_.Start(kTickMs, [this] { Tick(); });
    }
    timer_.Stop();
    std::lock_guard guard(lock_);
    paused_ = true;
    if (device_) device_->SetPaused(true);
    return device_ != nullptr;
}

void DirectSoundOutput::Stop() {
    std::lock_guard control(control_lock_);
    timer_.Stop();
    std::lock_guard guard(lock_);
    if (device_) {
        device_->SetPaused(true);
        device_->Flush();
        device_mark_ = device_->PlayedBytes();
    }
    played_base_ = 0;
    bytes_written_ = 0;
    started_ = false;
    paused_ = false;
}

void DirectSoundOutput::Close() {
    std::lock_guard control(control_lock_);
    Stop();
    std::lock_guard guard(lock_);
    if (device_) device_->Close();
    device_.reset();
}

void DirectSoundOutput::Flush() {
    std::lock_guard guard(lock_);
    if (!device_) return;
    device_->Flush();
    if (paused_) {
        // The queue is refilled now, so the sound resumes without a gap.
        const uint32_t calls = (buffer_bytes_ * 3 / 4 + kPieceBytes - 1) / kPieceBytes;
        for (uint32_t call = 0; call < calls && callback_ != nullptr && callback_user_ != nullptr; ++call)
            callback_(callback_user_, 0, 0);
    } else {
        FillLocked();
    }
}

}  // namespace pellix
