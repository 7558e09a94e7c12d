// The sound output on the null device: how much it queues, its clock, volume and rate.

#include "player_engine/sound/DirectSoundOutput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Window.h"

namespace pellix {
namespace {

platform::WAVEFORMATEX Pcm8000Mono() {
    platform::WAVEFORMATEX format{};
    format.wFormatTag = platform::WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 8000;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 16000;
    return format;
}

// Writes one silent piece per call, as the port does once its sound has run out.
struct Feeder {
    DirectSoundOutput* output = nullptr;
    std::atomic<int> calls{0};
    static void Callback(void* user, int, int) {
        auto* feeder = static_cast<Feeder*>(user);
        ++feeder->calls;
        static const uint8_t silence[DirectSoundOutput::kPieceBytes] = {};
        feeder->output->Write(silence, sizeof silence);
    }
};

class DirectSoundOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = PlatformCreateMemoryWindow(64, 64);
        feeder_.output = &output_;
        format_ = Pcm8000Mono();
    }
    void TearDown() override {
        output_.Close();
        PlatformDestroyWindow(window_);
    }
    void* window_ = nullptr;
    platform::WAVEFORMATEX format_{};
    DirectSoundOutput output_;
    Feeder feeder_;
};

TEST_F(DirectSoundOutputTest, StartQueuesThreeQuartersOfASecond) {
    EXPECT_FALSE(output_.Open(nullptr, &format_));
    ASSERT_TRUE(output_.Open(window_, &format_));
    EXPECT_EQ(output_.BufferBytes(), 16000u);
    EXPECT_FALSE(output_.PauseToggle());   // never started
    output_.SetDataCallback(&feeder_, &Feeder::Callback);
    ASSERT_TRUE(output_.Start());
    EXPECT_FALSE(output_.Start());
    EXPECT_EQ(feeder_.calls, 12);   // 12 x 1010 bytes = 757 ms
    EXPECT_GE(output_.QueuedTimeMs(), 700u);
    EXPECT_LE(output_.QueuedTimeMs(), 757u);

    // The timer keeps the queue topped up while the device plays it.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_GE(feeder_.calls, 12 + 4);
    EXPECT_GE(output_.QueuedTimeMs(), 600u);
    const uint32_t played = output_.PlayedTimeMs();
    EXPECT_GE(played, 450u);
    EXPECT_LE(played, 800u);

    // Paused, the clock stands still and nothing is pulled; a second toggle resumes.
    ASSERT_TRUE(output_.PauseToggle());
    EXPECT_TRUE(output_.IsPaused());
    const int calls = feeder_.calls;
    const uint32_t held = output_.PlayedTimeMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(feeder_.calls, calls);
    EXPECT_LE(output_.PlayedTimeMs(), held + 20);
    ASSERT_TRUE(output_.PauseToggle());
    EXPECT_FALSE(output_.IsPaused());

    // Flushing while paused refills three quarters of the buffer at once.
    ASSERT_TRUE(output_.PauseToggle());
    const int before = feeder_.calls;
    output_.Flush();
    EXPECT_EQ(feeder_.calls - before, 12);   // 12000 bytes in pieces of 1010
}

TEST_F(DirectSoundOutputTest, PositionRestartsTheClock) {
    ASSERT_TRUE(output_.Open(window_, &format_));
    output_.SetDataCallback(&feeder_, &Feeder::Callback);
    ASSERT_TRUE(output_.Start());
    output_.SetPosition(100 * DirectSoundOutput::kPieceBytes);   // 101000 bytes = 6312 ms
    const uint32_t at = output_.PlayedTimeMs();
    EXPECT_GE(at, 6312u);
    EXPECT_LE(at, 6340u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GE(output_.PlayedTimeMs(), 6312u + 200);
    output_.Stop();
    EXPECT_EQ(output_.PlayedTimeMs(), 0u);
    EXPECT_FALSE(output_.IsStarted());
}

TEST_F(DirectSoundOutputTest, VolumeInHundredthsOfADecibelAndRate) {
    EXPECT_EQ(DirectSoundOutput::VolumeLevelOf(0), -10000);
    EXPECT_EQ(DirectSoundOutput::VolumeLevelOf(32767), -5000);
    EXPECT_EQ(DirectSoundOutput::VolumeLevelOf(32768), -4999);
    EXPECT_EQ(DirectSoundOutput::VolumeLevelOf(65535), 0);
    EXPECT_FALSE(output_.SetVolume(100));   // not open
    ASSERT_TRUE(output_.Open(window_, &format_));
    ASSERT_TRUE(output_.SetVolume(32768));
    EXPECT_EQ(output_.VolumeLevel(), -4999);

    EXPECT_EQ(output_.Frequency(), 8000u);
    ASSERT_TRUE(output_.SetRate(2.0));
    EXPECT_EQ(output_.Frequency(), 16000u);
    ASSERT_TRUE(output_.SetRate(1.0));
    EXPECT_EQ(output_.Frequency(), 8000u);
}

}  // namespace
}  // namespace pellix
