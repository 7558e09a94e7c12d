#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Audio.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/codecs/Msacm.h"
#include "player_engine/Component.h"

namespace pellix {

// Called to have one piece of sound written: (user value, 0, 0). Only while the user value
// is not null.
using SoundDataCallback = void (*)(void* user, int reserved1, int reserved2);

// Plays PCM through the platform's audio device with a one-second queue, kept at least
// three quarters full by a 100 ms timer that pulls pieces through the data callback. Its
// played count is the audio clock of the port.
//
// Threads: Open/Start/Stop/Close/PauseToggle and the rest from the UI thread; the timer
// thread calls Tick. lock_ guards the bookkeeping; Flush and Start hold it while they call
// the data callback, whose Write takes it again on the same thread. The timer is never
// stopped while lock_ is held, since a running tick may be waiting for it. Start, the pause
// toggle, Stop and Close also come from the playback thread when a file ends: control_lock_
// serialises them (lock order: control_lock_ -> lock_; the tick takes only lock_).
class DirectSoundOutput final : public Component {
public:
    // Bytes one 256-byte IMA ADPCM piece decodes to; the unit of positions and refills.
    static constexpr uint32_t kPieceBytes = 1010;

    ~DirectSoundOutput() override;
    ComponentKind Kind() const override { return ComponentKind::SoundOutput; }
    const char* DisplayName() const override { return "DirectSound Audio Renderer"; }

    void SetDataCallback(void* user, SoundDataCallback callback);
    bool Open(void* window, const platform::WAVEFORMATEX* format);
    bool Write(const uint8_t* bytes, uint32_t count);
    // 0 ... 65535, mapped to hundredths of a decibel from -10000 to 0.
    bool SetVolume(uint16_t volume);
    uint32_t PlayedTimeMs() const;
    void SetPosition(uint32_t bytes);
    uint32_t QueuedTimeMs() const;
    bool IsPaused() const { return paused_; }
    bool IsStarted() const { return started_; }
    bool SetRate(double factor);
    bool Start();
    bool PauseToggle();
    void Stop();
    void Close();
    void Flush();

    // What the device was last asked for: level in hundredths of a decibel, frequency in Hz.
    int VolumeLevel() const { return volume_level_; }
    uint32_t Frequency() const { return frequency_; }
    uint32_t BufferBytes() const { return buffer_bytes_; }
    static int VolumeLevelOf(uint16_t volume);

private:
    void Tick();
    // Calls the data callback until three quarters of the buffer are queued.
    void FillLocked();
    uint64_t PlayedBytesLocked() const;

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    std::unique_ptr<platform::AudioDevice> device_;
    platform::WAVEFORMATEX format_{};
    uint32_t buffer_bytes_ = 0;
    uint32_t buffer_ms_ = 0;
    uint64_t played_base_ = 0;      // bytes counted as played at the last reset
    uint64_t device_mark_ = 0;      // the device's played count at that reset
    uint32_t bytes_written_ = 0;
    uint32_t base_frequency_ = 0;
    uint32_t frequency_ = 0;
    int volume_level_ = 0;
    SoundDataCallback callback_ = nullptr;
    void* callback_user_ = nullptr;

    // Set by the control thread, read by the tick.
    std::atomic<bool> started_{false};
    std::atomic<bool> paused_{false};
    platform::CriticalSection control_lock_;
    platform::PeriodicTimer timer_;   // guarded by control_lock_
};

}  // namespace pellix
