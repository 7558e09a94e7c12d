// Pictures following the sound: when the sound runs ahead, frames are passed over undecoded
// until the pictures are back within a quarter of a second.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Window.h"
#include "player_engine/PlayerPort.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace pellix {
namespace {

class SoundClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = drives_.folder() + "/clock.avi";
        test::FfmpegAvi options;
        options.seconds = 8;
        options.gop = 300;   // one key frame: every later frame may be passed over
        ASSERT_TRUE(test::MakeFfmpegAvi(path_, options));
        window_ = PlatformCreateMemoryWindow(352, 288);
    }
    void TearDown() override { PlatformDestroyWindow(window_); }

    // Puts the sound clock `ahead_ms` ahead of the pictures and returns the frames passed
    // over in the next `settle_ms`.
    uint32_t SkippedAfterJump(PlayerPort& port, uint32_t ahead_ms, uint32_t settle_ms) {
        DirectSoundOutput* sound = port.SoundOutput();
        const uint32_t skipped_before = port.CurrentFrame() - port.PlayedFrames();
        const uint32_t video_ms = port.CurrentFrame() * 1000 / 15;
        sound->SetPosition((video_ms + ahead_ms) * 16);   // 16 bytes a millisecond
        std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
        return port.CurrentFrame() - port.PlayedFrames() - skipped_before;
    }

    suite::test::TempDriveTable drives_{"CD"};
    std::string path_;
    void* window_ = nullptr;
};

TEST_F(SoundClockTest, PicturesBehindTheSoundCatchUpByPassingFramesOver) {
    PlayerPort port(12);
    ASSERT_TRUE(port.OpenFile(path_.c_str()));
    ASSERT_TRUE(port.Play(window_));
    ASSERT_NE(port.SoundOutput(), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // In step, nothing is passed over.
    EXPECT_EQ(port.CurrentFrame(), port.PlayedFrames());

    // 300 ms behind: one frame passed over, after which the frames taken at once close the
    // rest of the gap.
    const uint32_t few = SkippedAfterJump(port, 300, 600);
    EXPECT_GE(few, 1u);
    EXPECT_LE(few, 2u);

    // A second behind: every turn takes one frame and passes one over (133 ms), until the
    // lag is under 250 ms: (1000 - 250) / 133 turns.
    const uint32_t many = SkippedAfterJump(port, 1000, 900);
    EXPECT_GE(many, 5u);
    EXPECT_LE(many, 7u);
    const uint32_t video_ms = port.CurrentFrame() * 1000 / 15;
    const uint32_t audio_ms = port.SoundOutput()->PlayedTimeMs();
    EXPECT_LT(audio_ms > video_ms ? audio_ms - video_ms : video_ms - audio_ms, 250u);
    EXPECT_EQ(SkippedAfterJump(port, 0, 500), 0u);
    EXPECT_TRUE(port.Stop());
}

}  // namespace
}  // namespace pellix
