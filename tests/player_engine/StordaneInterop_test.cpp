// Recordings written by the record-file library, read back by the player engine as files and
// as pushed streams the way the playback program feeds them.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Files.h"
#include "player_engine/Pellix.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/demuxers/NetworkDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "player_engine/inputs/StreamInput.h"
#include "record_file_library/Stordane.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/support/TempDriveTable.h"

namespace {

constexpr int kSlot = 9;

std::vector<uint8_t> Frame(int number, bool key) {
    std::vector<uint8_t> frame = {0, 0, 1, 0xB6, static_cast<uint8_t>(key ? 0x00 : 0x40)};
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(number >> (8 * i)));
    frame.resize(900 + static_cast<size_t>(number % 7) * 100, static_cast<uint8_t>(number));
    return frame;
}

// 300 frames at 15 frames per second, a key frame every 15, and a 256-byte sound block per
// frame and a half (about the device's rate).
std::string Record(const suite::test::TempDriveTable& drives) {
    platform::CreateFolderTree("D:\\video\\2010_01_05\\01\\10");
    const std::string path = "D:\\video\\2010_01_05\\01\\10\\2010-01-05-101010 M101.avi";
    OxSetCapCompression(kSlot, OX_COMPRESSION_XVID);
    OxSetCapSize(kSlot, 352, 288);
    OxSetCapFrmRate(kSlot, 15);
    EXPECT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
    std::vector<uint8_t> block(256, 0);
    for (int i = 0; i < 300; ++i) {
        const std::vector<uint8_t> frame = Frame(i, i % 15 == 0);
        EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), static_cast<int>(frame.size()), i % 15 == 0 ? 0 : 1), 0u);
        if (i % 3 != 2) {
            EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5), 0u);
        }
    }
    EXPECT_EQ(OxCloseAVIFile(kSlot), 0u);
    (void)drives;
    return path;
}

// Frame numbers of the non-empty frames of a recording, in file order.
std::vector<int> FileFrames(const std::string& host_path) {
    pellix::FileInput input;
    pellix::AviDemuxer demuxer;
    std::vector<int> numbers;
    if (!input.Open(host_path.c_str(), true, false) || !demuxer.Open(&input)) return numbers;
    for (uint32_t i = 0; i < demuxer.FrameCount(); ++i) {
        pellix::VideoFrameRecord frame;
        if (demuxer.ReadFrame(1, frame)) numbers.push_back(pellix::test::FrameNumberOf(frame.data, frame.size));
    }
    return numbers;
}

TEST(StordaneInterop, RecordingsPlayAsFilesAndAsStreams) {
    suite::test::TempDriveTable drives("CD");
    const std::string path = Record(drives);
    const std::string host = drives.Host(path);
    ASSERT_TRUE(platform::Exists(host));

    std::vector<int> expected(300);
    for (int i = 0; i < 300; ++i) expected[i] = i;
    EXPECT_EQ(FileFrames(host), expected);

    ASSERT_EQ(Pellix_OpenFile(0, path.c_str()), 1) << Pellix_GetLastError(0);
    const unsigned total = Pellix_GetFileTotalFrames(0);
    EXPECT_GE(total, 300u);   // empty pacing frames count too
    EXPECT_EQ(Pellix_GetCurrentFrameRate(0), 15u);
    EXPECT_EQ(Pellix_GetFileTime2(0, path.c_str()), Pellix_GetFileTime(0));
    EXPECT_EQ(Pellix_CloseFile(0), 1);

    // As the playback program streams a recording: its first 512 bytes as header, the rest
    // in pieces of 10,240 bytes.
    const std::vector<uint8_t> bytes = pellix::test::ReadFile(host);
    ASSERT_EQ(Pellix_GetFileHeadLength(), 512);
    pellix::StreamInput input;
    ASSERT_TRUE(input.ReadHeader(bytes.data(), 512));
    ASSERT_TRUE(input.Open(nullptr, true, true));
    ASSERT_TRUE(input.SetBufferSize(0x100000));
    pellix::NetworkDemuxer demuxer;
    ASSERT_TRUE(demuxer.Open(&input));
    EXPECT_EQ(demuxer.Width(), 352);
    EXPECT_DOUBLE_EQ(demuxer.FrameRate(), 15.0);
    std::thread feeder([&] {
        for (size_t at = 512; at < bytes.size();) {
            const size_t piece = std::min<size_t>(10240, bytes.size() - at);
            if (input.Append(bytes.data() + at, piece))
                at += piece;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<int> streamed;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (streamed.size() < 300 && std::chrono::steady_clock::now() < until) {
        pellix::VideoFrameRecord frame;
        if (demuxer.ReadFrame(1, frame))
            streamed.push_back(pellix::test::FrameNumberOf(frame.data, frame.size));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    feeder.join();
    EXPECT_EQ(streamed, expected);

    // The same through the exported functions.
    const unsigned char* header = bytes.data();
    ASSERT_EQ(Pellix_SetStreamOpenMode(1, 1), 1);
    ASSERT_EQ(Pellix_OpenStream(1, header, 512, 0x100000), 1) << Pellix_GetLastError(1);
    EXPECT_EQ(Pellix_InputData(1, bytes.data() + 512, 10240), 1);
    EXPECT_EQ(Pellix_CloseStream(1), 1);
}

}  // namespace
