#pragma once

#include <cstdint>
#include <memory>

#include "player_engine/Component.h"
#include "player_engine/sound/DirectSoundOutput.h"

namespace pellix {

// The port's sound output. Open makes a new DirectSoundOutput (after stopping and destroying
// the previous one); Close stops and destroys it. Without one every operation answers 0.
class SoundOutputWrapper final : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::SoundOutput; }
    const char* DisplayName() const override { return active_ ? active_->DisplayName() : "Audio Renderer Wrapper"; }

    bool IsOpen() const { return active_ != nullptr; }
    DirectSoundOutput* Active() { return active_.get(); }

    void SetDataCallback(void* user, SoundDataCallback callback) {
        if (active_) active_->SetDataCallback(user, callback);
    }
    bool Open(void* window, const platform::WAVEFORMATEX* format) {
        Close();
        auto output = std::make_unique<DirectSoundOutput>();
        if (!output->Open(window, format)) return false;
        active_ = std::move(output);
        return true;
    }
    bool Write(const uint8_t* bytes, uint32_t count) { return active_ && active_->Write(bytes, count); }
    bool SetVolume(uint16_t volume) { return active_ && active_->SetVolume(volume); }
    uint32_t PlayedTimeMs() const { return active_ ? active_->PlayedTimeMs() : 0; }
    void SetPosition(uint32_t bytes) { if (active_) active_->SetPosition(bytes); }
    uint32_t QueuedTimeMs() const { return active_ ? active_->QueuedTimeMs() : 0; }
    bool IsPaused() const { return active_ && active_->IsPaused(); }
    bool IsStarted() const { return active_ && active_->IsStarted(); }
    bool SetRate(double factor) { return active_ && active_->SetRate(factor); }
    bool Start() { return active_ && active_->Start(); }
    bool PauseToggle() { return active_ && active_->PauseToggle(); }
    void Stop() { if (active_) active_->Stop(); }
    void Flush() { if (active_) active_->Flush(); }
    void Close() {
        if (active_) active_->Close();
        active_.reset();
    }

private:
    std::unique_ptr<DirectSoundOutput> active_;
};

}  // namespace pellix
