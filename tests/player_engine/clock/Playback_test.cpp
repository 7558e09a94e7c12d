// Playback through the exported functions into memory windows, with the null sound device:
// pacing, the end notification, speeds, pausing, seeking, stepping and the pictures shown.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/EndWindow.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kEndMessage = 0x8000 + 77;
constexpr int kWidth = 352, kHeight = 288;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Windows of the playback size that collect the end notifications.
class EndWindow : public pellix::test::EndWindow {
public:
    EndWindow() : pellix::test::EndWindow(kEndMessage, kWidth, kHeight) {}
};

using pellix::test::MeanDifference;

std::vector<uint8_t> Shown(void* window) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    if (PlatformWindowCopyPixels(window, pixels.data(), kWidth, kHeight) != 1) pixels.clear();
    return pixels;
}

class PlaybackTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int port = 0; port < 16; ++port) Pellix_CloseFile(port);
    }
    std::string Media(const std::string& name, const pellix::test::FfmpegAvi& options) {
        const std::string path = drives_.folder() + "/" + name;
        if (!pellix::test::MakeFfmpegAvi(path, options)) return {};
        return path;
    }
    suite::test::TempDriveTable drives_{"CD"};
};

TEST_F(PlaybackTest, FileWithSoundPlaysInRealTimeAndEndsOnce) {
    pellix::test::FfmpegAvi options;
    options.seconds = 4;
    const std::string path = Media("sound.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    ASSERT_EQ(Pellix_SetFileEndMsg(3, window.handle(), kEndMessage), 1);
    ASSERT_EQ(Pellix_OpenFile(3, path.c_str()), 1);
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_Play(3, window.handle()), 1) << Pellix_GetLastError(3);
    ASSERT_TRUE(window.WaitForEnd(10.0));
    const double took = Seconds(Clock::now() - start);
    EXPECT_NEAR(took, 4.0, 0.2);
    EXPECT_EQ(window.last_port(), 3);
    window.PumpFor(0.3);
    EXPECT_EQ(window.ends(), 1);
    // The port is back to open: the controls that need playback refuse.
    EXPECT_EQ(Pellix_Pause(3, 1), 0);
    EXPECT_EQ(Pellix_GetLastError(3), 2u);
    EXPECT_GE(PlatformWindowPresentCount(window.handle()), 50u);
    EXPECT_EQ(Pellix_Stop(3), 1);
}

TEST_F(PlaybackTest, FileWithoutSoundEndsOnceAndIdlesUntilStop) {
    pellix::test::FfmpegAvi options;
    options.seconds = 2;
    options.with_audio = false;
    const std::string path = Media("silent.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    Pellix_SetFileEndMsg(0, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(0, path.c_str()), 1);
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_Play(0, window.handle()), 1);
    ASSERT_TRUE(window.WaitForEnd(6.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), 2.0, 0.25);
    const unsigned shown = PlatformWindowPresentCount(window.handle());
    window.PumpFor(0.5);
    EXPECT_EQ(window.ends(), 1);
    // Still playing: nothing more is drawn, but the controls work until Stop.
    EXPECT_EQ(PlatformWindowPresentCount(window.handle()), shown);
    EXPECT_EQ(Pellix_Pause(0, 1), 1);
    EXPECT_EQ(Pellix_Pause(0, 1), 1);
    EXPECT_EQ(Pellix_Stop(0), 1);
    EXPECT_EQ(Pellix_Pause(0, 0), 0);
    EXPECT_EQ(Pellix_GetLastError(0), 2u);
}

// A file with sound whose sound output cannot open plays its pictures at their pace and still
// ends: the end of the file ends the playback as it does with sound.
TEST_F(PlaybackTest, FileWithSoundButNoSoundOutputStillEndsItsPlayback) {
    pellix::test::FfmpegAvi options;
    options.seconds = 2;
    const std::string path = Media("unheard.avi", options);
    ASSERT_FALSE(path.empty());
    setenv("KORVEL_AUDIO", "wav:/nonexistent-folder/sound.wav", 1);
    EndWindow window;
    Pellix_SetFileEndMsg(5, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(5, path.c_str()), 1);
    const auto start = Clock::now();
    const int played = Pellix_Play(5, window.handle());
    setenv("KORVEL_AUDIO", "null", 1);
    ASSERT_EQ(played, 1);
    ASSERT_TRUE(window.WaitForEnd(6.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), 2.0, 0.25);
    EXPECT_GE(PlatformWindowPresentCount(window.handle()), 25u);
    window.PumpFor(0.3);
    EXPECT_EQ(window.ends(), 1);
    // The playback is over, as when the sound played: the controls that need it refuse.
    EXPECT_EQ(Pellix_Pause(5, 1), 0);
    EXPECT_EQ(Pellix_GetLastError(5), 2u);
    EXPECT_EQ(Pellix_Stop(5), 1);
}

TEST_F(PlaybackTest, SpeedStepsAndPacing) {
    pellix::test::FfmpegAvi options;
    options.seconds = 4;
    options.with_audio = false;
    const std::string path = Media("speed.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    Pellix_SetFileEndMsg(1, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(1, path.c_str()), 1);

    // Not playing: refused with error 2.
    EXPECT_EQ(Pellix_Fast(1), 0);
    EXPECT_EQ(Pellix_GetLastError(1), 2u);
    EXPECT_EQ(Pellix_SetPlayPos(1, 0.5f), 0);
    EXPECT_EQ(Pellix_GetLastError(1), 2u);

    ASSERT_EQ(Pellix_Play(1, window.handle()), 1);
    EXPECT_EQ(Pellix_SetPlayPos(1, 1.5f), 0);
    EXPECT_EQ(Pellix_GetLastError(1), 1u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Pellix_Fast(1), 1) << i;
    EXPECT_EQ(Pellix_GetCurrentFrameRate(1), 0u);   // 15 / 32
    EXPECT_EQ(Pellix_Fast(1), 0);
    EXPECT_EQ(Pellix_GetLastError(1), 0u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Pellix_Slow(1), 1) << i;   // down to 1/2
    EXPECT_EQ(Pellix_GetCurrentFrameRate(1), 30u);
    EXPECT_EQ(Pellix_Fast(1), 1);
    EXPECT_EQ(Pellix_GetCurrentFrameRate(1), 15u);

    // At 4x the rest of the 60 pictures take about a quarter of their time.
    ASSERT_EQ(Pellix_SetPlayPos(1, 0.0f), 1);
    ASSERT_EQ(Pellix_Fast(1), 1);
    ASSERT_EQ(Pellix_Fast(1), 1);
    const auto start = Clock::now();
    ASSERT_TRUE(window.WaitForEnd(6.0));
    const double took = Seconds(Clock::now() - start);
    EXPECT_GT(took, 0.7);
    EXPECT_LT(took, 1.8);
}

TEST_F(PlaybackTest, PauseHoldsThePicturesAndResumes) {
    pellix::test::FfmpegAvi options;
    options.seconds = 3;
    const std::string path = Media("pause.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    ASSERT_EQ(Pellix_OpenFile(2, path.c_str()), 1);
    ASSERT_EQ(Pellix_Play(2, window.handle()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(Pellix_Pause(2, 1), 1);
    const unsigned frames = Pellix_GetPlayedFrames(2);
    const unsigned shown = PlatformWindowPresentCount(window.handle());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(Pellix_GetPlayedFrames(2), frames);
    EXPECT_EQ(PlatformWindowPresentCount(window.handle()), shown);
    EXPECT_EQ(Pellix_RefreshPlay(2), 1);
    EXPECT_EQ(PlatformWindowPresentCount(window.handle()), shown + 1);
    EXPECT_EQ(Pellix_Fast(2), 0);
    EXPECT_EQ(Pellix_GetLastError(2), 2u);
    ASSERT_EQ(Pellix_Pause(2, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(Pellix_GetPlayedFrames(2), frames + 3);
    EXPECT_EQ(Pellix_RefreshPlay(2), 0);
    EXPECT_EQ(Pellix_Stop(2), 1);
}

TEST_F(PlaybackTest, SteppingBackAfterAKeyFrameShowsThePictureBefore) {
    pellix::test::FfmpegAvi options;
    options.seconds = 3;
    options.gop = 25;
    options.with_audio = false;
    options.source = "life";
    const std::string path = Media("steps.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    ASSERT_EQ(Pellix_OpenFile(4, path.c_str()), 1);
    ASSERT_EQ(Pellix_Play(4, window.handle()), 1);
    ASSERT_EQ(Pellix_Pause(4, 1), 1);
    ASSERT_EQ(Pellix_SetCurrentFrameNum(4, 25), 1);
    ASSERT_EQ(Pellix_OneByOne(4), 1);   // the key frame 25
    const std::vector<uint8_t> key = Shown(window.handle());
    EXPECT_LT(MeanDifference(key, pellix::test::DecodeFrameBgra(path, 25, kWidth, kHeight)), 6.0);

    ASSERT_EQ(Pellix_OneByOneBack(4), 1);
    const std::vector<uint8_t> back = Shown(window.handle());
    const double to24 = MeanDifference(back, pellix::test::DecodeFrameBgra(path, 24, kWidth, kHeight));
    const double to23 = MeanDifference(back, pellix::test::DecodeFrameBgra(path, 23, kWidth, kHeight));
    const double to25 = MeanDifference(back, pellix::test::DecodeFrameBgra(path, 25, kWidth, kHeight));
    EXPECT_LT(to24, 6.0);
    EXPECT_LT(to24 * 3, to23);
    EXPECT_LT(to24 * 3, to25);

    ASSERT_EQ(Pellix_OneByOne(4), 1);   // forwards again: 25
    EXPECT_LT(MeanDifference(Shown(window.handle()), key), 1.0);
    // Play ends stepping.
    EXPECT_EQ(Pellix_Play(4, window.handle()), 1);
    EXPECT_EQ(Pellix_Pause(4, 1), 1);
    EXPECT_EQ(Pellix_Stop(4), 1);
}

// The PCM of a WAV file's data chunk.
std::vector<uint8_t> WavData(const std::string& path) {
    const std::vector<uint8_t> file = pellix::test::ReadFile(path);
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint32_t size = file[at + 4] | (file[at + 5] << 8) | (file[at + 6] << 16) | (file[at + 7] << 24);
        if (std::memcmp(&file[at], "data", 4) == 0) {
            const size_t end = std::min(file.size(), at + 8 + size);
            return std::vector<uint8_t>(file.begin() + static_cast<long>(at) + 8, file.begin() + static_cast<long>(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

TEST_F(PlaybackTest, SoundReachesTheDeviceAsDecodedPcm) {
    pellix::test::FfmpegAvi options;
    options.seconds = 2;
    const std::string path = Media("pcm.avi", options);
    ASSERT_FALSE(path.empty());
    const std::string wav = drives_.folder() + "/heard.wav";
    setenv("KORVEL_AUDIO", ("wav:" + wav).c_str(), 1);
    EndWindow window;
    Pellix_SetFileEndMsg(6, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(6, path.c_str()), 1);
    ASSERT_EQ(Pellix_Play(6, window.handle()), 1);
    const bool ended = window.WaitForEnd(6.0);
    EXPECT_EQ(Pellix_Stop(6), 1);
    setenv("KORVEL_AUDIO", "null", 1);
    ASSERT_TRUE(ended);

    const std::vector<uint8_t> heard = WavData(wav);
    const std::vector<uint8_t> decoded = pellix::test::DecodeAudioPcm(path);
    ASSERT_GE(decoded.size(), 30000u);
    // At least the first 1.5 s are played before the pictures end; each byte as decoded.
    ASSERT_GE(heard.size(), 24000u);
    const size_t compared = std::min(heard.size(), decoded.size()) / 1010 * 1010;
    EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + static_cast<long>(std::min<size_t>(compared, 24240)),
                           decoded.begin()));
}

TEST_F(PlaybackTest, SoundThatEndsFirstLeavesThePicturesPaced) {
    pellix::test::FfmpegAvi options;
    options.seconds = 3;
    options.audio_seconds = 1;
    const std::string path = Media("short_sound.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    Pellix_SetFileEndMsg(7, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(7, path.c_str()), 1);
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_Play(7, window.handle()), 1);
    ASSERT_TRUE(window.WaitForEnd(8.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), 3.0, 0.25);
    EXPECT_GE(PlatformWindowPresentCount(window.handle()), 40u);
    window.PumpFor(0.2);
    EXPECT_EQ(window.ends(), 1);
}

TEST_F(PlaybackTest, SoundOffKeepsThePicturesPacedAndOnAgainFollowsTheSound) {
    pellix::test::FfmpegAvi options;
    options.seconds = 3;
    const std::string path = Media("toggle.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    Pellix_SetFileEndMsg(10, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(10, path.c_str()), 1);
    EXPECT_EQ(Pellix_StopSound(10), 0);
    EXPECT_EQ(Pellix_GetLastError(10), 2u);
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_Play(10, window.handle()), 1);
    EXPECT_EQ(Pellix_SetVolume(10, 32768), 1);
    EXPECT_EQ(Pellix_GetVolume(10), 32768u);
    EXPECT_EQ(Pellix_PlaySound(10), 1);   // already on
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_EQ(Pellix_StopSound(10), 1);
    EXPECT_EQ(Pellix_StopSound(10), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    const unsigned at = Pellix_GetPlayedFrames(10);
    EXPECT_GE(at, 18u);   // about 1.6 s of pictures at 15 per second
    EXPECT_LE(at, 30u);
    ASSERT_EQ(Pellix_PlaySound(10), 1);
    ASSERT_TRUE(window.WaitForEnd(6.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), 3.0, 0.3);
    window.PumpFor(0.2);
    EXPECT_EQ(window.ends(), 1);
}

TEST_F(PlaybackTest, SeekingWithSoundKeepsThePicturesWithTheSound) {
    pellix::test::FfmpegAvi options;
    options.seconds = 4;
    options.gop = 15;
    const std::string path = Media("seek.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    Pellix_SetFileEndMsg(11, window.handle(), kEndMessage);
    ASSERT_EQ(Pellix_OpenFile(11, path.c_str()), 1);
    ASSERT_EQ(Pellix_Play(11, window.handle()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_SetPlayPos(11, 0.5f), 1);   // the key frame 30: two seconds remain
    EXPECT_NEAR(Pellix_GetPlayPos(11), 0.5f, 0.05f);
    ASSERT_TRUE(window.WaitForEnd(6.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), 2.0, 0.25);
}

struct DisplaySeen {
    std::atomic<int> calls{0};
    std::atomic<int> bad{0};
};

void OnDisplay(int port, unsigned char* picture, int size, int width, int height, int stamp, int type, void* user,
               int reserved) {
    auto* seen = static_cast<DisplaySeen*>(user);
    ++seen->calls;
    if (port != 9 || picture == nullptr || size != kWidth * kHeight * 2 || width != kWidth || height != kHeight ||
        stamp != 0 || type != 1 || reserved != 0)
        ++seen->bad;
}

// Paints the top left 16 x 16 pixels pure red on the canvas, as an application draws its marks.
void OnDraw(void* dc, void* user) {
    (void)user;
    auto* canvas = static_cast<PELLIX_DRAW_CANVAS*>(dc);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = canvas->bgra + y * canvas->stride_bytes + x * 4;
            p[0] = 0;
            p[1] = 0;
            p[2] = 255;
        }
}

TEST_F(PlaybackTest, DisplayCallbackDrawCallbackAndRegions) {
    pellix::test::FfmpegAvi options;
    options.seconds = 2;
    options.with_audio = false;
    const std::string path = Media("regions.avi", options);
    ASSERT_FALSE(path.empty());
    EndWindow window;
    void* corner = PlatformCreateMemoryWindow(kWidth / 2, kHeight / 2);
    DisplaySeen seen;
    ASSERT_EQ(Pellix_SetDisplayCallBack(9, &OnDisplay, &seen), 1);
    ASSERT_EQ(Pellix_RigisterDrawFun(9, &OnDraw, nullptr), 1);
    ASSERT_EQ(Pellix_OpenFile(9, path.c_str()), 1);
    const PELLIX_RECT quarter{0, 0, kWidth / 2, kHeight / 2};
    ASSERT_EQ(Pellix_SetDisplayRegion(9, 1, &quarter, corner, 1), 1);
    ASSERT_EQ(Pellix_Play(9, window.handle()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(Pellix_Pause(9, 1), 1);
    EXPECT_GE(seen.calls.load(), 5);
    EXPECT_EQ(seen.bad.load(), 0);
    EXPECT_EQ(PlatformWindowPresentCount(corner), PlatformWindowPresentCount(window.handle()));

    // The corner window shows the picture's top left quarter, without the application's marks.
    const std::vector<uint8_t> main = Shown(window.handle());
    std::vector<uint8_t> part(static_cast<size_t>(kWidth / 2) * (kHeight / 2) * 4);
    ASSERT_EQ(PlatformWindowCopyPixels(corner, part.data(), kWidth / 2, kHeight / 2), 1);
    ASSERT_FALSE(main.empty());
    EXPECT_EQ(main[2], 255);   // red at the top left of the main window
    EXPECT_EQ(main[1], 0);
    double difference = 0;
    for (int y = 16; y < kHeight / 2; ++y)
        for (int x = 16; x < kWidth / 2; ++x)
            for (int c = 0; c < 3; ++c)
                difference += std::abs(part[(static_cast<size_t>(y) * (kWidth / 2) + x) * 4 + c] -
                                       main[(static_cast<size_t>(y) * kWidth + x) * 4 + c]);
    EXPECT_LT(difference / ((kHeight / 2 - 16) * (kWidth / 2 - 16) * 3), 1.0);
    EXPECT_NE(part[2] == 255 && part[1] == 0 && part[0] == 0, true);
    EXPECT_EQ(Pellix_Stop(9), 1);
    PlatformDestroyWindow(corner);
}

TEST_F(PlaybackTest, RealTimeStreamCannotPause) {
    pellix::test::AviBuildOptions options;
    options.frames = 30;
    const std::vector<uint8_t> avi = pellix::test::BuildAvi(options);
    EndWindow window;
    ASSERT_EQ(Pellix_SetStreamOpenMode(5, 0), 1);
    ASSERT_EQ(Pellix_OpenStream(5, avi.data(), 512, 0x100000), 1);
    ASSERT_EQ(Pellix_Play(5, window.handle()), 1);
    EXPECT_EQ(Pellix_Pause(5, 1), 0);
    EXPECT_EQ(Pellix_GetLastError(5), 0u);
    EXPECT_EQ(Pellix_OneByOne(5), 0);
    EXPECT_EQ(Pellix_GetLastError(5), 14u);
    EXPECT_EQ(Pellix_Stop(5), 1);
}

}  // namespace
