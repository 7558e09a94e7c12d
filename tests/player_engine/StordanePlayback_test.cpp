// Recordings written by the record-file library with real MPEG-4 pictures, played by the
// player engine into memory windows: as files (pictures checked against libavcodec's decode,
// the recorder's caption burned in) and as a downloading file fed as a stream.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Files.h"
#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "record_file_library/Stordane.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace {

constexpr int kSlot = 11;
constexpr int kWidth = 352, kHeight = 288;
constexpr int kCaptionFrame = 15;

// The recorder's picture information block: a caption at (8, 8), then one padding byte.
std::vector<uint8_t> CaptionBlock() {
    std::vector<uint8_t> block(56, 0);
    block[12] = 1;
    block[16] = 8;
    block[18] = 8;
    std::memcpy(&block[20], "GATE 7", 6);
    std::memcpy(&block[52], "15dc", 4);
    block.push_back(0);
    return block;
}

// Re-records the pictures of an ffmpeg-made file through the record-file library, with one
// sound block per picture; returns the recording's Windows path.
std::string Rerecord(const std::string& source) {
    pellix::FileInput input;
    pellix::AviDemuxer demuxer;
    if (!input.Open(source.c_str(), true, false) || !demuxer.Open(&input)) return {};
    platform::CreateFolderTree("D:\\video\\2010_01_05\\01\\10");
    const std::string path = "D:\\video\\2010_01_05\\01\\10\\2010-01-05-101010 M101.avi";
    OxSetCapCompression(kSlot, OX_COMPRESSION_XVID);
    OxSetCapSize(kSlot, kWidth, kHeight);
    OxSetCapFrmRate(kSlot, 15);
    if (OxCreateAVIFile(kSlot, path.c_str()) != 0) return {};
    std::vector<uint8_t> sound(256, 0);
    for (uint32_t i = 0; i < demuxer.FrameCount(); ++i) {
        pellix::VideoFrameRecord record;
        if (!demuxer.ReadFrame(1, record)) return {};
        std::vector<uint8_t> frame(record.data, record.data + record.size);
        if (i == kCaptionFrame) {
            const std::vector<uint8_t> block = CaptionBlock();
            frame.insert(frame.end(), block.begin(), block.end());
        }
        if (OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()),
                                  record.key_frame ? OX_FRAME_VIDEO_KEY : OX_FRAME_VIDEO_DELTA) != 0)
            return {};
        if (OxWriteFrameToAVIFile(kSlot, sound.data(), 256, OX_FRAME_AUDIO) != 0) return {};
    }
    return OxCloseAVIFile(kSlot) == 0 ? path : std::string{};
}

double MeanDifference(const uint8_t* a, const uint8_t* b, size_t bytes) {
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < bytes; ++i) {
        if (i % 4 == 3) continue;
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
        ++count;
    }
    return count ? sum / static_cast<double>(count) : 1e9;
}

class StordanePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        source_ = drives_.folder() + "/source.avi";
        pellix::test::FfmpegAvi options;
        options.seconds = 4;
        options.gop = 15;
        options.with_audio = false;
        options.source = "life";
        ASSERT_TRUE(pellix::test::MakeFfmpegAvi(source_, options));
        recording_ = Rerecord(source_);
        ASSERT_FALSE(recording_.empty());
        window_ = PlatformCreateMemoryWindow(kWidth, kHeight);
    }
    void TearDown() override {
        for (int port = 0; port < 16; ++port) Pellix_CloseFile(port);
        PlatformDestroyWindow(window_);
    }
    std::vector<uint8_t> Shown() const {
        std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
        if (PlatformWindowCopyPixels(window_, pixels.data(), kWidth, kHeight) != 1) pixels.clear();
        return pixels;
    }
    suite::test::TempDriveTable drives_{"CD"};
    std::string source_;
    std::string recording_;
    void* window_ = nullptr;
};

TEST_F(StordanePlaybackTest, PicturesMatchTheReferenceDecodeWithTheCaptionBurnedIn) {
    ASSERT_EQ(Pellix_OpenFile(2, recording_.c_str()), 1) << Pellix_GetLastError(2);
    ASSERT_EQ(Pellix_Play(2, window_), 1) << Pellix_GetLastError(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(Pellix_Pause(2, 1), 1);
    ASSERT_EQ(Pellix_SetCurrentFrameNum(2, kCaptionFrame), 1);
    ASSERT_EQ(Pellix_OneByOne(2), 1);
    const std::vector<uint8_t> shown = Shown();
    const std::vector<uint8_t> reference = pellix::test::DecodeFrameBgra(source_, kCaptionFrame, kWidth, kHeight);
    ASSERT_EQ(shown.size(), reference.size());
    // Below the caption the picture is the reference decode.
    const size_t lower = static_cast<size_t>(kWidth) * 4 * 40;
    EXPECT_LT(MeanDifference(shown.data() + lower, reference.data() + lower, shown.size() - lower), 6.0);
    // In the caption's cells the lit pixels are pure white or black, readable on the picture.
    int burned = 0;
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 8 + 6 * 12; ++x) {
            const uint8_t* p = &shown[(static_cast<size_t>(y) * kWidth + x) * 4];
            const uint8_t* r = &reference[(static_cast<size_t>(y) * kWidth + x) * 4];
            if (std::abs(p[1] - r[1]) > 60 && (p[1] > 235 || p[1] < 20)) ++burned;
        }
    EXPECT_GT(burned, 60);

    // One back: the picture before, decoded from the key frame before it.
    ASSERT_EQ(Pellix_OneByOneBack(2), 1);
    const std::vector<uint8_t> back = Shown();
    const std::vector<uint8_t> before = pellix::test::DecodeFrameBgra(source_, kCaptionFrame - 1, kWidth, kHeight);
    EXPECT_LT(MeanDifference(back.data(), before.data(), back.size()), 6.0);
    EXPECT_EQ(Pellix_Stop(2), 1);
}

TEST_F(StordanePlaybackTest, DownloadingRecordingFedAsAStreamPlaysEveryFrame) {
    const std::string host = drives_.Host(recording_);
    const std::vector<uint8_t> bytes = pellix::test::ReadFile(host);
    ASSERT_GT(bytes.size(), 512u);
    ASSERT_EQ(Pellix_SetStreamOpenMode(3, 1), 1);
    ASSERT_EQ(Pellix_SetSourceBufCallBack(3, 51200, nullptr, nullptr, nullptr), 1);
    ASSERT_EQ(Pellix_OpenStream(3, bytes.data(), 512, 0x100000), 1) << Pellix_GetLastError(3);
    ASSERT_EQ(Pellix_Play(3, window_), 1) << Pellix_GetLastError(3);
    std::atomic<bool> fed{false};
    std::thread feeder([&] {
        for (size_t at = 512; at < bytes.size();) {
            const size_t piece = std::min<size_t>(10240, bytes.size() - at);
            if (Pellix_InputData(3, bytes.data() + at, static_cast<int>(piece)) == 1) at += piece;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        fed = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    // A frame counts as played just before it is presented: wait for both.
    while ((Pellix_GetPlayedFrames(3) < 60 || PlatformWindowPresentCount(window_) < 60) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    feeder.join();
    EXPECT_TRUE(fed);
    EXPECT_EQ(Pellix_GetPlayedFrames(3), 60u);
    EXPECT_GE(PlatformWindowPresentCount(window_), 60u);
    // The last picture shown is the recording's last.
    const std::vector<uint8_t> last = pellix::test::DecodeFrameBgra(source_, 59, kWidth, kHeight);
    const std::vector<uint8_t> shown = Shown();
    ASSERT_EQ(shown.size(), last.size());
    EXPECT_LT(MeanDifference(shown.data(), last.data(), shown.size()), 6.0);
    EXPECT_EQ(Pellix_Stop(3), 1);
    EXPECT_EQ(Pellix_CloseStream(3), 1);
}

}  // namespace
