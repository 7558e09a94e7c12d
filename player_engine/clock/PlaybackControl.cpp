// The playback clock and control operations of a port: the playback threads, their pacing,
// and Play, Stop, Pause, Fast, Slow, sound on and off, stepping, redraw and seeking.
//
// Lock order: clock mutex -> frame buffer -> splitter; clock mutex -> sound output -> audio
// buffer -> splitter. The playback thread is held (HoldWhilePaused) only while it owns none.

#include <cmath>

#include "common/TraceMessage.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/Window.h"
#include "player_engine/ErrorCode.h"
#include "player_engine/PlayerPort.h"

namespace pellix {

namespace {
// Sleeps shorter than this are not worth a wake-up.
constexpr int kMinSleepMs = 4;
constexpr float kFastest = 32.0f;
constexpr float kSlowest = 1.0f / 32.0f;
// A real-time stream with more queued frames than this has fallen behind: catch up.
constexpr uint32_t kLiveBacklogFrames = 5;
// How long Pause waits for the playback thread to finish the turn it is in.
constexpr uint32_t kParkWaitMs = 1000;
// A held thread waits for Pause off or Stop to open its gate; it looks at its flags again
// this often in any case, so that a paused port costs next to nothing.
constexpr uint32_t kHoldRecheckMs = 1000;
}  // namespace

bool PlayerPort::IsWaitingStream() const { return (input_.Status() & kInputStatusWaitable) != 0; }

bool PlayerPort::IsRealTimeStream() const {
    return source_kind_ == SourceKind::Stream && open_mode_ == StreamOpenMode::RealTime;
}

void PlayerPort::Nap(uint32_t ms) {
    if (ms == 0) return;
    platform::WaitForAny({&wake_, &pause_wake_}, ms);
}

void PlayerPort::HoldWhilePaused() {
    parked_.Set();
    platform::WaitForOne(&run_gate_, kHoldRecheckMs);
}

void PlayerPort::Draw(PictureEntry* picture) {
    if (picture == nullptr) return;
    renderer_.Draw(picture->picture.data(), video_decoder_.OutputLayout(), video_decoder_.FlipFlag(),
                   picture->has_info ? &picture->info : nullptr);
}

void PlayerPort::PostEndOnce() {
    if (end_sent_) return;
    end_sent_ = true;
    if (end_window_ != nullptr)
        platform::PostMessage(end_window_, end_message_, static_cast<platform::WPARAM>(port_), 0);
}

void PlayerPort::AudioDataCallback(void* user, int reserved1, int reserved2) {
    (void)reserved1;
    (void)reserved2;
    auto* port = static_cast<PlayerPort*>(user);
    if (!port->sound_off_) {
        const AudioPiece* piece = port->audio_buffer_.TakeNext();
        if (piece != nullptr) {
            port->sound_output_.Write(piece->bytes.data(), piece->length);
            return;
        }
    }
    static const uint8_t kSilence[DirectSoundOutput::kPieceBytes] = {};
    port->sound_output_.Write(kSilence, sizeof kSilence);
}

void PlayerPort::RepositionSoundLocked() {
    splitter_.AlignAudioWithVideo();
    // The block is noted before the refill, which reads on: the clock starts where the sound
    // that is queued now starts.
    const uint32_t block = splitter_.CurrentAudioBlock();
    sound_output_.Flush();
    sound_output_.SetPosition(block * DirectSoundOutput::kPieceBytes);
}

void PlayerPort::CloseOutputs() {
    // The sound output first: its timer is what takes pieces from the audio buffer.
    sound_output_.Close();
    audio_buffer_.Close();
    renderer_.Close();
    frame_buffer_.Close();
}

bool PlayerPort::Play(void* window) {
    SetLastError(ErrorCode::None);
    if (!has_video_ && !has_audio_) return false;
    if (stepping_) {
        playing_ = true;
        {
            ClockLock clock(clock_mutex_);
            current_frame_ = splitter_.CurrentFrameNumber();
            if (has_audio_ && sound_usable_) {
                splitter_.AlignAudioWithVideo();
                sound_output_.SetPosition(splitter_.CurrentAudioBlock() * DirectSoundOutput::kPieceBytes);
            }
        }
        Pause(false);
        stepping_ = false;
        return true;
    }
    if (playing_ && (paused_ || speed_ != 1.0f)) {
        frame_rate_ = splitter_.FrameRate();
        Pause(false);
        speed_ = 1.0f;
        if (has_audio_ && sound_usable_) sound_output_.SetRate(1.0);
        return true;
    }
    if (playing_) return true;

    if (thread_) {
        // The thread of a file that played to its end.
        wake_.Set();
        thread_->Join();
        thread_.reset();
    }
    CloseOutputs();
    frame_rate_ = splitter_.FrameRate();
    if (window == nullptr) {
        CloseOutputs();
        return false;
    }
    int width = 0, height = 0;
    PictureSize(&width, &height);
    if (!renderer_.Initialise(window, width, height)) {
        SetLastError(ErrorCode::RendererInitFailed);
        return false;
    }
    // Every decoder delivers YUY2 and the renderer draws it; the codes follow the
    // negotiation the renderer and decoder share.
    bool formatted = false;
    if (has_video_) {
        int code = renderer_.Overlay() ? video_decoder_.PreferredFormat() : renderer_.PreferredFormat();
        if (renderer_.AcceptFormat(code) || (!renderer_.Overlay() && renderer_.AcceptFormat(renderer_.PreferredFormat()))) {
            code = renderer_.PreferredFormat();
            formatted = video_decoder_.SetOutputFormat(code) && frame_buffer_.Open(&video_decoder_);
        }
        if (!formatted) SetLastError(ErrorCode::NoCommonPictureFormat);
    }
    if (formatted) window_ = window;

    sound_usable_ = false;
    if (has_audio_) {
        if (sound_output_.Open(window, audio_decoder_.OutputFormat())) {
            sound_usable_ = true;
            sound_off_ = false;
            sound_output_.SetVolume(volume_);
            sound_output_.SetDataCallback(this, &PlayerPort::AudioDataCallback);
            audio_buffer_.Open(&audio_decoder_);
        } else {
            sound_off_ = true;
            SetLastError(ErrorCode::SoundOutputFailed);
        }
    }
    if (!formatted) {
        CloseOutputs();
        return false;
    }

    playing_ = true;
    paused_ = false;
    stepping_ = false;
    run_gate_.Set();
    wake_.Reset();
    pause_wake_.Reset();
    parked_.Reset();
    splitter_.Rewind();
    end_sent_ = false;
    if (has_audio_ && sound_usable_) sound_output_.Start();
    // A file with sound plays on the sound thread even when the output could not open: it
    // runs with the sound off, paced by the clock, and the end of the file ends the playback.
    const bool file_has_sound = has_audio_;
    thread_ = std::make_unique<PlaybackThread>([this, file_has_sound] {
        if (file_has_sound)
            RunAudioAndVideo();
        else
            RunVideoOnly();
    });
    thread_->SetPriority(platform::THREAD_PRIORITY_ABOVE_NORMAL);
    {
        ClockLock clock(clock_mutex_);
        reference_tick_ = platform::TickCount();
    }
    thread_->Resume();
    return true;
}

void PlayerPort::RunVideoOnly() {
    const double rate = frame_rate_ > 0.0 ? frame_rate_ : 25.0;
    {
        ClockLock clock(clock_mutex_);
        reference_tick_ = platform::TickCount();
        current_frame_ = 0;
        frame_counter_ = 0;
    }
    previous_render_tick_ = last_render_tick_ = platform::TickCount();
    while (playing_) {
        if (paused_ || stepping_) {
            HoldWhilePaused();
            continue;
        }
        parked_.Reset();
        // Pacing: a file (or a stream fed from one) waits one frame interval at the speed; a
        // real-time stream follows its own schedule and catches up when it falls behind.
        uint32_t sleep_ms = 0;
        {
            ClockLock clock(clock_mutex_);
            const uint32_t now = platform::TickCount();
            if (!IsRealTimeStream()) {
                const double wait = static_cast<double>(static_cast<int32_t>(reference_tick_ - now)) +
                                    1000.0 / rate / static_cast<double>(speed_.load());
                sleep_ms = wait >= kMinSleepMs ? static_cast<uint32_t>(wait) : 0;
            } else {
                const double wait = static_cast<double>(static_cast<int32_t>(reference_tick_ - now)) +
                                    frame_counter_ * 1000.0 / rate;
                if (wait >= kMinSleepMs) {
                    if (input_.QueuedVideoFrames() > kLiveBacklogFrames) {
                        sleep_ms = 3;
                        reference_tick_ = now;
                        frame_counter_ = 0;
                    } else {
                        sleep_ms = static_cast<uint32_t>(wait);
                    }
                }
            }
        }
        if (sleep_ms != 0) Nap(sleep_ms);
        if (!playing_) break;
        if (!IsRealTimeStream()) {
            ClockLock clock(clock_mutex_);
            reference_tick_ = platform::TickCount();
        }
        if (paused_ || stepping_) continue;

        PictureEntry* picture = frame_buffer_.TakeNext();
        bool draw = picture != nullptr;
        {
            ClockLock clock(clock_mutex_);
            ++current_frame_;
            if (picture != nullptr) ++frame_counter_;
        }
        if (picture == nullptr) {
            if (source_kind_ == SourceKind::Stream && IsWaitingStream()) {
                Nap(20);
                ClockLock clock(clock_mutex_);
                reference_tick_ = platform::TickCount();
                frame_counter_ = 0;
                continue;
            }
            if (ClockFrame() < splitter_.FrameCount()) {
                picture = frame_buffer_.TakeCurrent();
                draw = picture != nullptr;
            } else {
                PostEndOnce();
                draw = false;
            }
        }
        if (!paused_ && draw) {
            const uint32_t now = platform::TickCount();
            previous_render_tick_ = last_render_tick_;
            last_render_tick_ = now;
            render_total_ms_ += now - previous_render_tick_;
            Draw(picture);
        }
    }
}

uint32_t PlayerPort::ClockFrame() {
    // Seek and step write the frame number from the control thread.
    ClockLock clock(clock_mutex_);
    return current_frame_;
}

void PlayerPort::RunAudioAndVideo() {
    const double rate = frame_rate_ > 0.0 ? frame_rate_ : 25.0;
    const double interval = std::floor(1000.0 / rate);
    {
        ClockLock clock(clock_mutex_);
        current_frame_ = 0;
        frame_counter_ = 0;
        reference_tick_ = platform::TickCount();
    }
    bool ended = false;
    while (playing_) {
        if (paused_) {
            HoldWhilePaused();
            continue;
        }
        parked_.Reset();
        if (!sound_off_) {
            // The pictures follow the sound: a picture ahead of the sound waits, one that
            // lags by a quarter of a second lets the next frame pass undecoded.
            double lag_ms;
            PictureEntry* picture;
            {
                ClockLock clock(clock_mutex_);
                const double audio_ms = sound_output_.PlayedTimeMs();
                const double video_ms = current_frame_ * 1000.0 / rate;
                lag_ms = video_ms - audio_ms;
                picture = frame_buffer_.TakeNext();
                ++current_frame_;
            }
            if (picture != nullptr) {
                Draw(picture);
            } else if (!IsWaitingStream() && ClockFrame() >= splitter_.FrameCount()) {
                ended = true;
                break;
            } else {
                frame_buffer_.TakeCurrent();
            }
            if (lag_ms >= interval / (0.25 * rate)) {
                Nap(static_cast<uint32_t>(lag_ms));
            } else if (lag_ms < -(0.25 * rate * interval)) {
                if (frame_buffer_.SkipNext()) {
                    ClockLock clock(clock_mutex_);
                    ++current_frame_;
                }
            }
        } else {
            double delay;
            PictureEntry* picture;
            {
                ClockLock clock(clock_mutex_);
                delay = 1000.0 / rate / static_cast<double>(speed_.load());
                picture = frame_buffer_.TakeNext();
                ++current_frame_;
            }
            if (picture != nullptr) {
                Draw(picture);
            } else if (ClockFrame() >= splitter_.FrameCount()) {
                ended = true;
                break;
            } else {
                frame_buffer_.TakeCurrent();
            }
            uint32_t reference;
            {
                ClockLock clock(clock_mutex_);
                reference = reference_tick_;
            }
            const double ahead = static_cast<double>(static_cast<int32_t>(reference - platform::TickCount())) + delay;
            if (ahead > 3.0) Nap(static_cast<uint32_t>(ahead));
            ClockLock clock(clock_mutex_);
            reference_tick_ = platform::TickCount();
        }
    }
    parked_.Set();
    if (!ended) return;
    // The sound device itself is released by Stop, on the control thread.
    sound_output_.Stop();
    audio_buffer_.Close();
    PostEndOnce();
    playing_ = false;
    paused_ = false;
    stepping_ = false;
    speed_ = 1.0f;
}

bool PlayerPort::Pause(bool pause) {
    SetLastError(ErrorCode::None);
    if (!playing_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (IsRealTimeStream()) return false;
    if (pause == paused_) return true;
    if (pause) {
        paused_.exchange(true);
        {
            ClockLock clock(clock_mutex_);
            if (has_audio_ && sound_output_.IsStarted() && !sound_output_.IsPaused()) sound_output_.PauseToggle();
            pause_tick_ = platform::TickCount();
            run_gate_.Reset();
            parked_.Reset();
            pause_wake_.Set();
        }
        // The turn in progress ends before the caller steps or draws, so that no older
        // picture is drawn over theirs.
        if (thread_ && thread_->ThreadId() != platform::CurrentThreadId()) platform::WaitForOne(&parked_, kParkWaitMs);
        return true;
    }
    {
        ClockLock clock(clock_mutex_);
        stepping_ = false;
        if (has_audio_ && sound_output_.IsPaused() && !sound_off_) sound_output_.PauseToggle();
        reference_tick_ += platform::TickCount() - pause_tick_;
    }
    paused_ = false;
    run_gate_.Set();
    return true;
}

bool PlayerPort::Fast() {
    SetLastError(ErrorCode::None);
    if (!playing_ || paused_ || stepping_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (IsRealTimeStream()) return false;
    if (speed_ >= kFastest) return false;
    ApplySpeed(speed_ * 2.0f);
    return true;
}

bool PlayerPort::Slow() {
    SetLastError(ErrorCode::None);
    if (!playing_ || paused_ || stepping_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (IsRealTimeStream()) return false;
    if (speed_ <= kSlowest) return false;
    ApplySpeed(speed_ / 2.0f);
    return true;
}

void PlayerPort::ApplySpeed(float speed) {
    if (speed > 0.9f && speed < 1.1f) speed = 1.0f;
    speed_ = speed;
    const bool with_sound = has_audio_ && sound_usable_;
    if (speed == 1.0f) {
        if (with_sound) sound_output_.SetRate(1.0);
    } else if (with_sound) {
        {
            ClockLock clock(clock_mutex_);
            frame_counter_ = 0;
        }
        if (!sound_output_.IsPaused()) sound_output_.SetRate(speed);
    }
}

bool PlayerPort::Stop() {
    if (paused_) {
        if (sound_output_.IsPaused() && !sound_off_) sound_output_.PauseToggle();
        run_gate_.Set();
    }
    if (thread_) {
        playing_ = false;
        wake_.Set();
        if (!thread_->Join())
            platform::MessageBox(nullptr, "videoThread couldn't be stopped.", "Error",
                                 platform::MB_OK | platform::MB_ICONWARNING);
        thread_.reset();
        CloseOutputs();
        decode_callback_ = nullptr;
        decode_user_ = nullptr;
    }
    playing_ = paused_ = stepping_ = false;
    run_gate_.Set();
    speed_ = 1.0f;
    volume_ = kVolumeUnset;
    window_ = nullptr;
    splitter_.Rewind();
    return true;
}

bool PlayerPort::PlaySound() {
    SetLastError(ErrorCode::None);
    if (!playing_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (!has_audio_ || !sound_usable_) return false;
    if (!sound_off_) return true;
    sound_off_ = false;
    {
        ClockLock clock(clock_mutex_);
        current_frame_ = splitter_.CurrentFrameNumber();
        RepositionSoundLocked();
    }
    if (sound_output_.IsPaused() && !paused_) sound_output_.PauseToggle();
    return true;
}

bool PlayerPort::StopSound() {
    SetLastError(ErrorCode::None);
    if (!playing_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (!has_audio_) return false;
    if (sound_off_) return true;
    if (!paused_) {
        ClockLock clock(clock_mutex_);
        reference_tick_ = platform::TickCount();
        frame_counter_ = 0;
    }
    sound_off_ = true;
    if (sound_output_.IsPaused()) return true;
    sound_output_.Flush();
    sound_output_.PauseToggle();
    return true;
}

bool PlayerPort::OneByOne(bool backwards) {
    SetLastError(ErrorCode::None);
    if (source_kind_ == SourceKind::Stream) {
        SetLastError(ErrorCode::NotForStream);
        return false;
    }
    if (!stepping_) {
        if (!playing_) {
            SetLastError(ErrorCode::WrongState);
            return false;
        }
        if (!paused_) Pause(true);
    }
    stepping_ = true;
    if (has_video_) {
        PictureEntry* picture = backwards ? frame_buffer_.TakePrevious() : frame_buffer_.TakeNext();
        {
            ClockLock clock(clock_mutex_);
            current_frame_ = splitter_.CurrentFrameNumber();
        }
        Draw(picture);
    }
    return true;
}

bool PlayerPort::RefreshPlay() {
    if (!paused_ && !stepping_) return false;
    if (has_video_) Draw(frame_buffer_.TakeCurrent());
    return true;
}

bool PlayerPort::SetPlayPosition(float position) {
    SetLastError(ErrorCode::None);
    if (!(position >= 0.0f && position <= 1.0f)) {
        SetLastError(ErrorCode::BadArgument);
        return false;
    }
    if (!playing_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    const bool with_sound = has_audio_ && sound_usable_;
    const uint16_t volume = volume_;
    if (with_sound) sound_output_.SetVolume(0);
    splitter_.SeekToPosition(position);
    frame_buffer_.Reposition();
    {
        ClockLock clock(clock_mutex_);
        current_frame_ = splitter_.CurrentFrameNumber();
        if (with_sound) {
            // The seek placed the sound with the pictures; noted before the refill reads on.
            const uint32_t block = splitter_.CurrentAudioBlock();
            sound_output_.Flush();
            sound_output_.SetPosition(block * DirectSoundOutput::kPieceBytes);
        }
    }
    if (paused_ && has_video_) Draw(frame_buffer_.TakeCurrent());
    if (with_sound) sound_output_.SetVolume(volume);
    return true;
}

bool PlayerPort::SetCurrentFrame(uint32_t frame) {
    TraceMessage("dwFrameNum: %d", static_cast<int>(frame));
    SetLastError(ErrorCode::None);
    if (frame >= splitter_.FrameCount()) {
        SetLastError(ErrorCode::BadArgument);
        return false;
    }
    if (!playing_) {
        SetLastError(ErrorCode::WrongState);
        return false;
    }
    if (source_kind_ == SourceKind::Stream) {
        SetLastError(ErrorCode::NotForStream);
        return false;
    }
    const bool paused_here = !paused_;
    if (paused_here) Pause(true);
    splitter_.SeekToFrame(frame, FrameOrigin::Begin);
    frame_buffer_.Reposition();
    {
        ClockLock clock(clock_mutex_);
        current_frame_ = frame;
        if (has_audio_ && sound_usable_) RepositionSoundLocked();
    }
    if (paused_here) Pause(false);
    playing_ = true;
    return true;
}

uint32_t PlayerPort::PlayedFrames() const { return frame_buffer_.Delivered(); }

}  // namespace pellix
