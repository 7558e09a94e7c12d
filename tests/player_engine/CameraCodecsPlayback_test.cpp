// The network cameras' codecs through the engine, as it plays their recordings: H.264 and H.265
// with B-frames and Motion JPEG, in AVI files with IMA ADPCM sound made by FFmpeg's encoders.
// Each is played to its end, sought, stepped back and forth across key frames (every picture
// compared with libavcodec's decode of the same frame), played at 4x and 1/4, handed to the
// display callback and saved as a bitmap; and recorded as the suite records a camera, through
// the record-file library, then fed as a pushed stream as a downloading recording is.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "record_file_library/Stordane.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/EndWindow.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 352, kHeight = 288;
constexpr int kFps = 15, kSeconds = 3, kGop = 15;
constexpr unsigned kFrames = kFps * kSeconds;
constexpr unsigned kEndMessage = 0x8000 + 91;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

using pellix::test::MeanDifference;

class Window : public pellix::test::EndWindow {
public:
    Window() : pellix::test::EndWindow(kEndMessage, kWidth, kHeight) {}
};

struct DisplaySeen {
    std::atomic<int> calls{0};
    std::atomic<int> wrong_size{0};
    std::vector<uint8_t> last;  // written by the callback while the test waits
    std::atomic<bool> keep{true};
};

void OnDisplay(int, unsigned char* picture, int size, int width, int height, int, int, void* user, int) {
    auto* seen = static_cast<DisplaySeen*>(user);
    ++seen->calls;
    if (width != kWidth || height != kHeight || size < width * height * 2) ++seen->wrong_size;
    if (seen->keep && picture != nullptr && size > 0) seen->last.assign(picture, picture + size);
}

suite::test::TempDriveTable& Drives() {
    static suite::test::TempDriveTable* drives = new suite::test::TempDriveTable("CD");
    return *drives;
}

// Records the pictures of `source` through the record-file library as the live client records
// a camera of `codec`, one sound block per picture; the recording's host path.
std::string Record(const std::string& source, const std::string& codec) {
    pellix::FileInput input;
    pellix::AviDemuxer demuxer;
    if (!input.Open(source.c_str(), true, false) || !demuxer.Open(&input)) return {};
    constexpr int kSlot = 12;
    const int compression = codec == "h264" ? OX_COMPRESSION_H264
                            : codec == "hevc" ? OX_COMPRESSION_H265
                                              : OX_COMPRESSION_MJPEG;
    platform::CreateFolderTree("D:\\video\\2026_12_10\\01\\10");
    const std::string path = "D:\\video\\2026_12_10\\01\\10\\" + codec + ".avi";
    OxSetCapCompression(kSlot, compression);
    OxSetCapSize(kSlot, kWidth, kHeight);
    OxSetCapFrmRate(kSlot, kFps);
    if (OxCreateAVIFile(kSlot, path.c_str()) != 0) return {};
    std::vector<uint8_t> sound(256, 0);
    for (uint32_t i = 0; i < demuxer.FrameCount(); ++i) {
        pellix::VideoFrameRecord record;
        if (!demuxer.ReadFrame(1, record)) return {};
        if (OxWriteFrameToAVIFile(kSlot, record.data, static_cast<int>(record.size),
                                  record.key_frame ? OX_FRAME_VIDEO_KEY : OX_FRAME_VIDEO_DELTA) != 0 ||
            OxWriteFrameToAVIFile(kSlot, sound.data(), 256, OX_FRAME_AUDIO) != 0)
            return {};
    }
    return OxCloseAVIFile(kSlot) == 0 ? Drives().Host(path) : std::string{};
}

class CameraCodecsPlaybackTest : public ::testing::TestWithParam<const char*> {
protected:
    static std::string Made(const char* codec) {
        const std::string path = Drives().folder() + "/" + codec + ".avi";
        if (!std::ifstream(path).good()) {
            pellix::test::FfmpegAvi options;
            options.video = codec;
            options.seconds = kSeconds;
            options.fps = kFps;
            options.gop = kGop;
            options.source = "life";
            if (!pellix::test::MakeFfmpegAvi(path, options)) return {};
        }
        return path;
    }
    void TearDown() override {
        Pellix_Stop(port_);
        Pellix_CloseFile(port_);
        Pellix_CloseStream(port_);
    }
    // The picture the window shows matches libavcodec's decode of `frame` and no neighbour.
    void ExpectShows(const Window& window, const std::string& path, int frame) {
        const std::vector<uint8_t> shown = window.Shown();
        const double exact = MeanDifference(shown, pellix::test::DecodeFrameBgra(path, frame, kWidth, kHeight));
        EXPECT_LT(exact, 6.0) << "frame " << frame;
        for (int other : {frame - 1, frame + 1}) {
            if (other < 0 || other >= static_cast<int>(kFrames)) continue;
            EXPECT_LT(exact * 3, MeanDifference(shown, pellix::test::DecodeFrameBgra(path, other, kWidth, kHeight)))
                << "frame " << frame << " looks like frame " << other;
        }
    }
    const int port_ = 6;
};

TEST_P(CameraCodecsPlaybackTest, PlaysSeeksStepsChangesSpeedAndHandsOverPictures) {
    const std::string path = Made(GetParam());
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the " << GetParam() << " recording";
    Window window;
    Pellix_SetFileEndMsg(port_, window.handle(), kEndMessage);
    DisplaySeen seen;
    ASSERT_EQ(Pellix_SetDisplayCallBack(port_, &OnDisplay, &seen), 1);
    ASSERT_EQ(Pellix_OpenFile(port_, path.c_str()), 1) << Pellix_GetLastError(port_);
    EXPECT_EQ(Pellix_GetFileTotalFrames(port_), kFrames);
    int width = 0, height = 0;
    ASSERT_EQ(Pellix_GetPictureSize(port_, &width, &height), 1);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, kHeight);

    // To the end in real time, every picture handed to the display callback at its size.
    const auto start = Clock::now();
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1) << Pellix_GetLastError(port_);
    ASSERT_TRUE(window.WaitForEnd(kSeconds + 5.0));
    EXPECT_NEAR(Seconds(Clock::now() - start), kSeconds, 0.4);
    EXPECT_GE(seen.calls.load(), static_cast<int>(kFrames) - 5);
    EXPECT_EQ(seen.wrong_size.load(), 0);
    ExpectShows(window, path, kFrames - 1);

    // Sought into the second group and stepped across its key frame both ways.
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
    ASSERT_EQ(Pellix_Pause(port_, 1), 1);
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, 2 * kGop + 5), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectShows(window, path, 2 * kGop + 5);
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, kGop), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectShows(window, path, kGop);
    ASSERT_EQ(Pellix_OneByOneBack(port_), 1);  // the last picture of the first group
    ExpectShows(window, path, kGop - 1);
    ASSERT_EQ(Pellix_OneByOneBack(port_), 1);
    ExpectShows(window, path, kGop - 2);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectShows(window, path, kGop);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectShows(window, path, kGop + 1);

    // A bitmap of the picture the callback was handed.
    seen.keep = false;
    const std::vector<uint8_t> picture = seen.last;
    ASSERT_GE(picture.size(), static_cast<size_t>(kWidth) * kHeight * 2);
    const std::string bitmap = path + ".bmp";
    ASSERT_EQ(Pellix_ConvertToBmpFile(picture.data(), static_cast<int>(picture.size()), kWidth, kHeight, 0,
                                      bitmap.c_str()),
              1);
    const std::string probed = pellix::test::RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height "
                                                        "-of csv=p=0 '" + bitmap + "'");
    EXPECT_EQ(probed, "bmp,352,288\n");

    // At 1/4 a second shows about four pictures; at 4x the 45 pictures take about 0.75 s.
    ASSERT_EQ(Pellix_Stop(port_), 1);
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
    ASSERT_EQ(Pellix_Slow(port_), 1);
    ASSERT_EQ(Pellix_Slow(port_), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const unsigned before = PlatformWindowPresentCount(window.handle());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const unsigned slowShown = PlatformWindowPresentCount(window.handle()) - before;
    EXPECT_GE(slowShown, 5u);  // 7.5 at 15 / 4 pictures a second
    EXPECT_LE(slowShown, 10u);
    // Back to 1x, then 4x from the start.
    ASSERT_EQ(Pellix_Fast(port_), 1);
    ASSERT_EQ(Pellix_Fast(port_), 1);
    ASSERT_EQ(Pellix_SetPlayPos(port_, 0.0f), 1);
    ASSERT_EQ(Pellix_Fast(port_), 1);
    ASSERT_EQ(Pellix_Fast(port_), 1);
    const int ends = window.ends();
    const auto fast = Clock::now();
    while (window.ends() == ends && Seconds(Clock::now() - fast) < 5.0)
        window.window()->PumpOneMessage(std::chrono::milliseconds(20));
    const double fastTook = Seconds(Clock::now() - fast);
    EXPECT_GT(fastTook, 0.45);
    EXPECT_LT(fastTook, 1.4);

    EXPECT_EQ(Pellix_Stop(port_), 1);
}

TEST_P(CameraCodecsPlaybackTest, RecordingPushedAsAStreamPlaysEveryPicture) {
    const std::string path = Made(GetParam());
    ASSERT_FALSE(path.empty());
    const std::string recording = Record(path, GetParam());
    ASSERT_FALSE(recording.empty());
    const std::vector<uint8_t> bytes = pellix::test::ReadFile(recording);
    const int head = Pellix_GetFileHeadLength();
    ASSERT_GT(bytes.size(), static_cast<size_t>(head));
    Window window;
    ASSERT_EQ(Pellix_SetStreamOpenMode(port_, 1), 1);
    ASSERT_EQ(Pellix_OpenStream(port_, bytes.data(), head, 0x100000), 1) << Pellix_GetLastError(port_);
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1) << Pellix_GetLastError(port_);
    std::thread feeder([&] {
        for (size_t at = static_cast<size_t>(head); at < bytes.size();) {
            const size_t piece = std::min<size_t>(8192, bytes.size() - at);
            if (Pellix_InputData(port_, bytes.data() + at, static_cast<int>(piece)) == 1) at += piece;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto until = Clock::now() + std::chrono::seconds(15);
    while ((Pellix_GetPlayedFrames(port_) < kFrames || PlatformWindowPresentCount(window.handle()) < kFrames) &&
           Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    feeder.join();
    EXPECT_EQ(Pellix_GetPlayedFrames(port_), kFrames);
    ExpectShows(window, path, kFrames - 1);
    EXPECT_EQ(Pellix_Stop(port_), 1);
}

// A recording cut short by a power loss, and one whose second half is noise, play as far as
// they go and end; stepping back through the noise shows what can be decoded.
TEST_P(CameraCodecsPlaybackTest, DamagedRecordingsPlayAndEnd) {
    const std::string path = Made(GetParam());
    ASSERT_FALSE(path.empty());
    const std::vector<uint8_t> bytes = pellix::test::ReadFile(path);
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3));
    std::vector<uint8_t> noisy = bytes;
    for (size_t i = noisy.size() / 2; i + 8 < noisy.size(); i += 7) noisy[i] = static_cast<uint8_t>(i * 131);
    int index = 0;
    for (const std::vector<uint8_t>* damaged : {&cut, &noisy}) {
        const std::string copy = path + ".damaged" + std::to_string(index++) + ".avi";
        std::ofstream(copy, std::ios::binary).write(reinterpret_cast<const char*>(damaged->data()),
                                                    static_cast<std::streamsize>(damaged->size()));
        Window window;
        Pellix_SetFileEndMsg(port_, window.handle(), kEndMessage);
        if (Pellix_OpenFile(port_, copy.c_str()) != 1) continue;  // refused as unreadable: fine
        ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
        EXPECT_TRUE(window.WaitForEnd(kSeconds + 5.0)) << copy;
        ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
        ASSERT_EQ(Pellix_Pause(port_, 1), 1);
        // A file cut before its index may count no frames; one whose pictures cannot be
        // decoded may have ended again already. Either way nothing is left to step through.
        const unsigned total = Pellix_GetFileTotalFrames(port_);
        if (total > 0 && Pellix_SetCurrentFrameNum(port_, total - 1) == 1)
            for (int step = 0; step < 20; ++step) Pellix_OneByOneBack(port_);
        EXPECT_EQ(Pellix_Stop(port_), 1);
        EXPECT_EQ(Pellix_CloseFile(port_), 1);
    }
}

// Recordings with two B-frames between references, as some cameras and most encoders make
// them: frame numbers count pictures in display order, so that seeking, stepping both ways
// across a key frame and the frame counter agree with libavcodec's decode of each frame, and
// playing shows every picture, the last ones the codec holds back included.
class BFrameRecordingTest : public CameraCodecsPlaybackTest {
protected:
    static std::string MadeWithBFrames(const char* codec) {
        const std::string path = Drives().folder() + "/" + codec + "-bframes.avi";
        if (!std::ifstream(path).good()) {
            pellix::test::FfmpegAvi options;
            options.video = codec;
            options.seconds = kSeconds;
            options.fps = kFps;
            options.gop = kGop;
            options.bframes = 2;
            options.source = "life";
            if (!pellix::test::MakeFfmpegAvi(path, options)) return {};
        }
        return path;
    }
    // A step shows `frame` and leaves the frame counter just after it.
    void ExpectStepShows(const Window& window, const std::string& path, int frame) {
        ExpectShows(window, path, frame);
        EXPECT_EQ(Pellix_GetCurrentFrameNum(port_), static_cast<unsigned>(frame + 1)) << "frame " << frame;
    }
};

TEST_P(BFrameRecordingTest, StepsSeeksAndPlaysInDisplayOrder) {
    const std::string path = MadeWithBFrames(GetParam());
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the " << GetParam() << " recording";
    const std::string types = pellix::test::RunCommand(
        "ffprobe -v error -select_streams v -show_entries frame=pict_type -of csv=p=0 '" + path + "'");
    ASSERT_NE(types.find('B'), std::string::npos) << "the recording has no B-frames";

    Window window;
    Pellix_SetFileEndMsg(port_, window.handle(), kEndMessage);
    DisplaySeen seen;
    seen.keep = false;
    ASSERT_EQ(Pellix_SetDisplayCallBack(port_, &OnDisplay, &seen), 1);
    ASSERT_EQ(Pellix_OpenFile(port_, path.c_str()), 1) << Pellix_GetLastError(port_);
    ASSERT_EQ(Pellix_GetFileTotalFrames(port_), kFrames);

    // Played through, every picture reaches the window, the last one last.
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1) << Pellix_GetLastError(port_);
    ASSERT_TRUE(window.WaitForEnd(kSeconds + 5.0));
    EXPECT_EQ(Pellix_GetPlayedFrames(port_), kFrames);
    EXPECT_EQ(seen.calls.load(), static_cast<int>(kFrames));
    ExpectShows(window, path, kFrames - 1);

    // Sought a few pictures before the second key frame, stepped across it and back.
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
    ASSERT_EQ(Pellix_Pause(port_, 1), 1);
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, kGop - 3), 1);
    for (int frame = kGop - 3; frame <= kGop + 2; ++frame) {
        ASSERT_EQ(Pellix_OneByOne(port_), 1);
        ExpectStepShows(window, path, frame);
    }
    for (int frame = kGop + 1; frame >= kGop - 2; --frame) {
        ASSERT_EQ(Pellix_OneByOneBack(port_), 1);
        ExpectStepShows(window, path, frame);
    }
    // Sought into a group and on again.
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, 2 * kGop + 4), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectStepShows(window, path, 2 * kGop + 4);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectStepShows(window, path, 2 * kGop + 5);

    // The file's last pictures, which only come out when the codec is drained, and back.
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, kFrames - 2), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectStepShows(window, path, kFrames - 2);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    ExpectStepShows(window, path, kFrames - 1);
    ASSERT_EQ(Pellix_OneByOneBack(port_), 1);
    ExpectStepShows(window, path, kFrames - 2);

    // Played on from a step, the pictures run to the end in order.
    ASSERT_EQ(Pellix_SetCurrentFrameNum(port_, kGop + 1), 1);
    ASSERT_EQ(Pellix_OneByOne(port_), 1);
    const unsigned before = Pellix_GetPlayedFrames(port_);
    const int ends = window.ends();
    ASSERT_EQ(Pellix_Play(port_, window.handle()), 1);
    const auto until = Clock::now() + std::chrono::seconds(kSeconds + 5);
    while (window.ends() == ends && Clock::now() < until)
        window.window()->PumpOneMessage(std::chrono::milliseconds(20));
    EXPECT_EQ(Pellix_GetPlayedFrames(port_) - before, kFrames - (kGop + 2));
    ExpectShows(window, path, kFrames - 1);
    EXPECT_EQ(Pellix_Stop(port_), 1);
}

INSTANTIATE_TEST_SUITE_P(Codecs, BFrameRecordingTest, ::testing::Values("h264", "hevc"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

INSTANTIATE_TEST_SUITE_P(Codecs, CameraCodecsPlaybackTest, ::testing::Values("h264", "hevc", "mjpeg"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
