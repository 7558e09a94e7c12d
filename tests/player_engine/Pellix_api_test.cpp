// Black-box tests of libPellix.so through its exported functions only.

#include "player_engine/Pellix.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/player_engine/support/TinyHttpServer.h"
#include "tests/support/TempDriveTable.h"

namespace {

constexpr unsigned kBadArgument = 1, kWrongState = 2, kBufferSizeRefused = 6, kFileOpenFailed = 7,
                   kInputRefused = 11, kNotForStream = 14, kHeaderNotStored = 17, kDecoderOpenFailed = 19,
                   kContainerUnreadable = 20;

class PellixApiTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int port = 0; port < 16; ++port) Pellix_CloseFile(port);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = drives_.folder() + "/" + name;
        pellix::test::WriteFile(path, bytes);
        return path;
    }
    std::string Recording(int frames = 100, bool audio = true) {
        pellix::test::AviBuildOptions options;
        options.frames = frames;
        options.with_audio = audio;
        options.rate = 15;
        return Write("rec" + std::to_string(frames) + ".avi", pellix::test::BuildAvi(options));
    }
    suite::test::TempDriveTable drives_{"CD"};
};

TEST_F(PellixApiTest, LibraryFactsAndEmptyPorts) {
    EXPECT_EQ(Pellix_GetSdkVersion(), 0x00050300u);
    EXPECT_EQ(Pellix_GetFileHeadLength(), 512);
    const unsigned caps = Pellix_GetCaps();
    EXPECT_EQ(caps & 0x180u, 0x180u);   // every x86-64 processor has MMX and SSE
    EXPECT_EQ(caps & 0x1u, 0x1u);

    EXPECT_EQ(Pellix_GetLastError(16), 1u);
    EXPECT_EQ(Pellix_GetLastError(-1), 1u);
    EXPECT_EQ(Pellix_GetLastError(0), 0u);
    EXPECT_EQ(Pellix_GetPlayPos(0), 0.0f);
    EXPECT_EQ(Pellix_GetPlayPos(99), 0.0f);
    EXPECT_EQ(Pellix_CloseFile(0), 0);
    EXPECT_EQ(Pellix_CloseStream(16), 0);

    // Play on an empty slot fails and leaves the shared error as another port left it.
    EXPECT_EQ(Pellix_SetStreamOpenMode(1, 2), 0);
    EXPECT_EQ(Pellix_GetLastError(1), kBadArgument);
    EXPECT_EQ(Pellix_Play(5, reinterpret_cast<void*>(0x1)), 0);
    EXPECT_EQ(Pellix_GetLastError(1), kBadArgument);
    EXPECT_EQ(Pellix_GetLastError(5), 0u);   // still empty: not made by Play
}

TEST_F(PellixApiTest, LifetimeOverAllSixteenPorts) {
    const std::string path = Recording(100);
    for (int round = 0; round < 2; ++round) {
        for (int port = 0; port < 16; ++port) {
            ASSERT_EQ(Pellix_SetDisplayBuf(port, 3 + port % 13), 1) << port;
            ASSERT_EQ(Pellix_OpenFile(port, path.c_str()), 1) << port << " error " << Pellix_GetLastError(port);
        }
        for (int port = 0; port < 16; ++port) {
            EXPECT_EQ(Pellix_GetDisplayBuf(port), 3u + port % 13);
            EXPECT_EQ(Pellix_GetFileTotalFrames(port), 100u);
            EXPECT_EQ(Pellix_GetFileTime(port), 6666u);
            EXPECT_EQ(Pellix_GetCurrentFrameRate(port), 15u);
            int width = 0, height = 0;
            EXPECT_EQ(Pellix_GetPictureSize(port, &width, &height), 1);
            EXPECT_EQ(width, 352);
            EXPECT_EQ(height, 288);
            EXPECT_EQ(Pellix_GetCurrentFrameNum(port), 0u);
            EXPECT_EQ(Pellix_GetSourceBufferRemain(port), 0u);
        }
        // The two closing names are one function.
        for (int port = 0; port < 16; ++port) {
            EXPECT_EQ(port % 2 ? Pellix_CloseFile(port) : Pellix_CloseStream(port), 1);
            EXPECT_EQ(port % 2 ? Pellix_CloseStream(port) : Pellix_CloseFile(port), 0);
            EXPECT_EQ(Pellix_GetFileTotalFrames(port), 0u);
        }
    }
    // Opening again on an open port replaces what it had.
    ASSERT_EQ(Pellix_OpenFile(3, path.c_str()), 1);
    ASSERT_EQ(Pellix_OpenFile(3, Recording(40).c_str()), 1);
    EXPECT_EQ(Pellix_GetFileTotalFrames(3), 40u);
}

TEST_F(PellixApiTest, OpenFileFailuresSetTheirCodes) {
    EXPECT_EQ(Pellix_OpenFile(0, nullptr), 0);
    EXPECT_EQ(Pellix_GetLastError(0), kBadArgument);
    EXPECT_EQ(Pellix_OpenFile(0, (drives_.folder() + "/none.avi").c_str()), 0);
    EXPECT_EQ(Pellix_GetLastError(0), kFileOpenFailed);
    EXPECT_EQ(Pellix_OpenFile(0, Write("text.avi", std::vector<uint8_t>(4000, 'x')).c_str()), 0);
    EXPECT_EQ(Pellix_GetLastError(0), kContainerUnreadable);

    std::vector<uint8_t> unknown = pellix::test::BuildAvi({});
    for (size_t i = 0; i + 4 < unknown.size(); ++i)
        if (std::memcmp(&unknown[i], "XVID", 4) == 0) std::memcpy(&unknown[i], "QQQQ", 4);
    EXPECT_EQ(Pellix_OpenFile(0, Write("unknown.avi", unknown).c_str()), 0);
    EXPECT_EQ(Pellix_GetLastError(0), kDecoderOpenFailed);
    EXPECT_EQ(Pellix_GetFileTotalFrames(0), 0u);   // a failed open leaves nothing open

    // Sound that cannot be decoded reports 19, but the pictures still open.
    pellix::test::AviBuildOptions with_audio;
    with_audio.with_audio = true;
    std::vector<uint8_t> odd_sound = pellix::test::BuildAvi(with_audio);
    for (size_t i = 0; i + 8 < odd_sound.size(); ++i)
        if (std::memcmp(&odd_sound[i], "strf", 4) == 0 && odd_sound[i + 8] == 0x11) odd_sound[i + 8] = 0x55;
    EXPECT_EQ(Pellix_OpenFile(0, Write("mp3.avi", odd_sound).c_str()), 1);
    EXPECT_EQ(Pellix_GetLastError(0), kDecoderOpenFailed);
    EXPECT_EQ(Pellix_GetFileTotalFrames(0), 50u);

    // A download is made, but nothing reads a download: the open fails and the file goes.
    pellix::test::TinyHttpServer server("127.0.0.63");
    ASSERT_TRUE(server.Listening());
    server.Serve("/r.avi", {pellix::test::BuildAvi({}), static_cast<size_t>(-1), 0, 0});
    EXPECT_EQ(Pellix_OpenFile(2, server.Url("/r.avi").c_str()), 0);
    EXPECT_EQ(Pellix_GetLastError(2), kContainerUnreadable);

    // Files by Windows path go through the drive table.
    pellix::test::WriteFile(drives_.Root('D') + "/rec.avi", pellix::test::BuildAvi({}));
    EXPECT_EQ(Pellix_OpenFile(1, "D:\\REC.AVI"), 1);
}

TEST_F(PellixApiTest, ControlOperationsAnswerNotPlaying) {
    ASSERT_EQ(Pellix_OpenFile(4, Recording(100).c_str()), 1);
    EXPECT_EQ(Pellix_Pause(4, 1), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_Fast(4), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_SetPlayPos(4, 1.5f), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kBadArgument);
    EXPECT_EQ(Pellix_SetPlayPos(4, 0.5f), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_SetCurrentFrameNum(4, 100), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kBadArgument);
    EXPECT_EQ(Pellix_SetCurrentFrameNum(4, 99), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_OneByOne(4), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_PlaySound(4), 0);
    EXPECT_EQ(Pellix_GetLastError(4), kWrongState);
    EXPECT_EQ(Pellix_RefreshPlay(4), 0);
    EXPECT_EQ(Pellix_Play(4, nullptr), 0);
    EXPECT_EQ(Pellix_Stop(4), 1);
    EXPECT_EQ(Pellix_GetVolume(4), 0xFFFFu);
    EXPECT_EQ(Pellix_SetVolume(4, 1234), 0);   // no sound output while stopped
    EXPECT_EQ(Pellix_GetVolume(4), 1234u);
    EXPECT_EQ(Pellix_SetDecCallBack(4, nullptr, nullptr), 0);
    EXPECT_EQ(Pellix_SetDecCallBack(4, [](int, unsigned char*, int, void*, void*, int) {}, nullptr), 1);
    EXPECT_EQ(Pellix_GetKeyFramePos(4, 1, 2, nullptr), 0);
    EXPECT_EQ(Pellix_GetNextKeyFramePos(4, 1, 2, nullptr), 0);
}

TEST_F(PellixApiTest, DisplaySettingsAreKeptPerPort) {
    EXPECT_EQ(Pellix_SetDisplayBuf(6, 2), 0);
    EXPECT_EQ(Pellix_GetLastError(6), kWrongState);
    EXPECT_EQ(Pellix_SetDisplayBuf(6, 16), 0);
    EXPECT_EQ(Pellix_SetDisplayBuf(6, 8), 1);
    EXPECT_EQ(Pellix_GetDisplayBuf(6), 8u);
    EXPECT_EQ(Pellix_GetOverlayMode(6), 0);
    EXPECT_EQ(Pellix_SetOverlayMode(6, 1, 0x00FF00FF), 1);
    EXPECT_EQ(Pellix_GetOverlayMode(6), 1);
    EXPECT_EQ(Pellix_GetColorKey(6), 0u);
    EXPECT_EQ(Pellix_IsMultiScreen(6), 1);
    Pellix_SetMultiScreen(6, 0);
    EXPECT_EQ(Pellix_IsMultiScreen(6), 0);
    const PELLIX_RECT rect{0, 0, 100, 100};
    EXPECT_EQ(Pellix_SetDisplayRegion(6, 1, &rect, reinterpret_cast<void*>(0x10), 1), 1);
    EXPECT_EQ(Pellix_SetDisplayRegion(6, 4, &rect, nullptr, 1), 0);
    EXPECT_EQ(Pellix_SetPicQuality(7, 1), 0);
    EXPECT_EQ(Pellix_GetLastError(7), 0u);
    EXPECT_EQ(Pellix_SetRenderer(7, 1), 0);
    EXPECT_EQ(Pellix_SetDisplayCallBack(8, nullptr, nullptr), 1);
    EXPECT_EQ(Pellix_RigisterDrawFun(8, nullptr, nullptr), 1);
    EXPECT_EQ(Pellix_SetFileEndMsg(9, nullptr, 0x500), 1);
}

struct SourceLog {
    std::atomic<int> calls{0};
};
void OnSource(int, unsigned int, void* user, void*) { ++static_cast<SourceLog*>(user)->calls; }

std::vector<uint8_t> NetworkHeader() {
    std::vector<uint8_t> h(44, 0);
    h[0] = 352 & 0xFF; h[1] = 352 >> 8;
    h[2] = 288 & 0xFF; h[3] = 288 >> 8;
    h[4] = 25;
    h[6] = 12;
    std::memcpy(&h[8], "XVID", 4);
    h[12] = 200;
    h[18] = 1;
    return h;
}

TEST_F(PellixApiTest, StreamPortsFromOpenToClose) {
    EXPECT_EQ(Pellix_SetStreamOpenMode(10, 2), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kBadArgument);
    EXPECT_EQ(Pellix_GetStreamOpenMode(10), 0);
    EXPECT_EQ(Pellix_SetStreamOpenMode(10, 1), 1);
    EXPECT_EQ(Pellix_GetStreamOpenMode(10), 1);

    const std::vector<uint8_t> header = NetworkHeader();
    EXPECT_EQ(Pellix_OpenStream(10, header.data(), 44, 1000), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kBufferSizeRefused);
    EXPECT_EQ(Pellix_OpenStream(10, nullptr, 44, 0x100000), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kHeaderNotStored);
    EXPECT_EQ(Pellix_OpenStream(10, header.data(), 43, 0x100000), 0);
    EXPECT_EQ(Pellix_GetLastError(10), 0u);
    EXPECT_EQ(Pellix_InputData(10, header.data(), 10), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kInputRefused);

    SourceLog log;
    EXPECT_EQ(Pellix_SetSourceBufCallBack(10, 51200, &OnSource, &log, nullptr), 1);
    ASSERT_EQ(Pellix_OpenStream(10, header.data(), 44, 51200), 1) << Pellix_GetLastError(10);
    EXPECT_EQ(Pellix_GetFileTotalFrames(10), 200u);
    EXPECT_EQ(Pellix_GetFileTime(10), 0u);
    EXPECT_EQ(Pellix_GetCurrentFrameRate(10), 25u);
    EXPECT_EQ(Pellix_OneByOne(10), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kNotForStream);
    EXPECT_EQ(Pellix_SetCurrentFrameNum(10, 500), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kBadArgument);

    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (log.calls < 1 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(log.calls, 1);

    // Fill the queue with 50 frames, hold the parser on the 51st, then fill the ring.
    std::vector<uint8_t> chunk = {'0', '0', 'd', 'b', 104, 0, 0, 0};
    chunk.resize(8 + 104, 0x33);
    for (int i = 0; i < 51; ++i) ASSERT_EQ(Pellix_InputData(10, chunk.data(), static_cast<int>(chunk.size())), 1);
    while (Pellix_GetSourceBufferRemain(10) > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<uint8_t> filler(51200, 0);
    ASSERT_EQ(Pellix_InputData(10, filler.data(), 51000), 1);
    EXPECT_EQ(Pellix_InputData(10, filler.data(), 201), 0);
    EXPECT_EQ(Pellix_GetLastError(10), kInputRefused);
    EXPECT_EQ(Pellix_GetSourceBufferRemain(10), 51000u);
    EXPECT_EQ(Pellix_ResetSourceBuffer(10), 1);
    EXPECT_EQ(Pellix_GetSourceBufferRemain(10), 0u);
    EXPECT_EQ(Pellix_ResetSourceBufFlag(10), 1);
    EXPECT_EQ(Pellix_CloseStream(10), 1);
    EXPECT_EQ(Pellix_ResetSourceBufFlag(10), 0);
}

TEST_F(PellixApiTest, ConvertToBmpFileWritesBottomRowFirst) {
    // 8 x 2 picture: top row black, bottom row white, as the display callback gives it.
    std::vector<uint8_t> picture;
    for (int i = 0; i < 4; ++i) picture.insert(picture.end(), {16, 128, 16, 128});
    for (int i = 0; i < 4; ++i) picture.insert(picture.end(), {235, 128, 235, 128});
    const std::string flipped = drives_.folder() + "/flipped.jpg";
    ASSERT_EQ(Pellix_ConvertToBmpFile(picture.data(), 32, 8, 2, 1, flipped.c_str()), 1);
    const std::vector<uint8_t> bmp = pellix::test::ReadFile(flipped);
    ASSERT_EQ(bmp.size(), 54u + 8 * 2 * 3);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[10], 54);
    EXPECT_EQ(bmp[14], 40);
    EXPECT_EQ(bmp[28], 24);
    // The bitmap's first row is the bottom of the picture: white; then black.
    EXPECT_EQ(bmp[54], 255);
    EXPECT_EQ(bmp[54 + 23], 255);
    EXPECT_EQ(bmp[54 + 24], 0);
    EXPECT_EQ(bmp[54 + 47], 0);

    const std::string plain = drives_.folder() + "/plain.bmp";
    ASSERT_EQ(Pellix_ConvertToBmpFile(picture.data(), 32, 8, 2, 0, plain.c_str()), 1);
    EXPECT_EQ(pellix::test::ReadFile(plain)[54], 0);

    EXPECT_EQ(Pellix_ConvertToBmpFile(picture.data(), 32, 8, 2, 0, ""), 1);
    EXPECT_EQ(Pellix_ConvertToBmpFile(nullptr, 32, 8, 2, 0, plain.c_str()), 0);
    EXPECT_EQ(Pellix_ConvertToBmpFile(picture.data(), 31, 8, 2, 0, plain.c_str()), 0);
}

TEST_F(PellixApiTest, FileTimeWithoutAPort) {
    pellix::test::AviBuildOptions options;
    options.frames = 450;
    options.rate = 15;
    options.frame_bytes = 10;
    std::vector<uint8_t> file = pellix::test::BuildAvi(options);
    EXPECT_EQ(Pellix_GetFileTime2(0, Write("t.avi", file).c_str()), 30000u);
    const std::string ffmpeg = drives_.folder() + "/ffmpeg.avi";
    ASSERT_TRUE(pellix::test::MakeFfmpegAvi(ffmpeg, {}));
    EXPECT_EQ(Pellix_GetFileTime2(0, ffmpeg.c_str()), 4000u);
    file[128] = file[129] = file[130] = file[131] = 0;   // scale 0
    EXPECT_EQ(Pellix_GetFileTime2(0, Write("s.avi", file).c_str()), 0u);
    EXPECT_EQ(Pellix_GetFileTime2(0, "D:\\missing.avi"), 0u);
    EXPECT_EQ(Pellix_GetFileTime2(0, nullptr), 0u);
}

struct VerifyLog {
    int calls = 0;
    int port = -1;
    unsigned checked = 0;
};
void OnVerify(int port, void* range, void* user) {
    auto* log = static_cast<VerifyLog*>(user);
    ++log->calls;
    log->port = port;
    log->checked = static_cast<const unsigned*>(range)[2];
}

TEST_F(PellixApiTest, VerifyCallbackSetBeforeOpenChecksTheFrames) {
    VerifyLog log;
    EXPECT_EQ(Pellix_SetVerifyCallBack(11, 0, 30, &OnVerify, &log), 1);
    ASSERT_EQ(Pellix_OpenFile(11, Recording(100, false).c_str()), 1);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.port, 11);
    EXPECT_EQ(log.checked, 30u);
}

}  // namespace
