// Capture into AVI files driven through the C interface with real MPEG-4 frames and ADPCM
// blocks; the files are read back by ffprobe and ffmpeg.

#include "decoder_library/Halvane.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Tick.h"
#include "platform/TimeText.h"
#include "platform/codecs/Vfw.h"
#include "tests/decoder_library/CommandOutput.h"
#include "tests/platform/codecs/TestMedia.h"
#include "tests/support/TempDriveTable.h"
#include "tests/support/WriteLimit.h"

using halvane_test::Quoted;
using halvane_test::RunCommand;

namespace {

constexpr int kXvid = 3;
const char kFolder[] = "D:\\VIDEO\\127.0.0.1[SVR8000]\\2026_12_09\\chn_05\\08\\";

struct Packet {
    int size = 0;
    bool key = false;
};

// Video (or audio) packets of a file as ffprobe lists them.
std::vector<Packet> ProbePackets(const std::string& file, const char* stream)
{
    const auto result = RunCommand("ffprobe -v error -select_streams " + std::string(stream) +
                                   " -show_entries packet=size,flags -of csv=p=0 " + Quoted(file));
    EXPECT_EQ(result.status, 0) << file;
    std::vector<Packet> packets;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        Packet packet;
        packet.size = std::stoi(line);
        packet.key = line.find(",K") != std::string::npos;
        packets.push_back(packet);
    }
    return packets;
}

// "codec_type=video" lines and the like for every stream of the file.
std::string ProbeStreams(const std::string& file)
{
    return RunCommand("ffprobe -v error -show_entries "
                      "stream=codec_type,codec_name,width,height,sample_rate,channels -of default=nw=1 " +
                      Quoted(file))
        .output;
}

// The stream's packets as one run of bytes, copied out by ffmpeg.
std::string StreamBytes(const std::string& file, const char* stream)
{
    return RunCommand("ffmpeg -v error -i " + Quoted(file) + " -map 0:" + stream + " -c copy -f data -").output;
}

std::vector<std::string> AviFiles(const std::string& hostFolder)
{
    std::vector<std::string> files;
    if (!std::filesystem::exists(hostFolder))
        return files;
    for (const auto& entry : std::filesystem::directory_iterator(hostFolder))
        if (entry.path().extension() == ".avi")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The local time in a capture file's name, in seconds since 1970; -1 when the name is not
// one of a capture file of `kind` and `channel` (1-based).
std::time_t NameTime(const std::string& file, char kind, int channel)
{
    const std::string name = std::filesystem::path(file).filename().string();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
    char expected[16];
    std::snprintf(expected, sizeof expected, " %c1%02d.avi", kind, channel);
    if (name.size() != 17 + std::strlen(expected) ||
        std::sscanf(name.c_str(), "%4d-%2d-%2d-%2d%2d%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &consumed) != 6 ||
        consumed != 17 || name.substr(17) != expected)
        return -1;
    platform::LocalTime time;
    time.year = static_cast<std::uint16_t>(year);
    time.month = static_cast<std::uint16_t>(month);
    time.day = static_cast<std::uint16_t>(day);
    time.hour = static_cast<std::uint16_t>(hour);
    time.minute = static_cast<std::uint16_t>(minute);
    time.second = static_cast<std::uint16_t>(second);
    return platform::FromLocalTime(time);
}

std::time_t Now()
{
    return platform::FromLocalTime(platform::GetLocalTime());
}

// Write limits on every name a capture file of `letterAndChannel` ("M103") can get when made
// within the next few seconds: the name holds the second it is created in.
std::vector<std::unique_ptr<suite::test::WriteLimit>> LimitNextNames(const char* letterAndChannel, std::int64_t bytes)
{
    std::vector<std::unique_ptr<suite::test::WriteLimit>> limits;
    const std::time_t start = Now();
    for (std::time_t second = start; second < start + 4; ++second) {
        platform::LocalTime time;
        EXPECT_TRUE(platform::ToLocalTime(second, time));
        char name[64];
        std::snprintf(name, sizeof name, "%04d-%02d-%02d-%02d%02d%02d %s.avi", time.year, time.month, time.day,
                      time.hour, time.minute, time.second, letterAndChannel);
        limits.push_back(std::make_unique<suite::test::WriteLimit>(std::string(kFolder) + name, bytes));
    }
    return limits;
}

// ADPCM blocks with valid headers and varied codes.
std::vector<std::vector<std::uint8_t>> AdpcmBlocks(int count)
{
    std::vector<std::vector<std::uint8_t>> blocks;
    std::uint32_t seed = 7;
    for (int b = 0; b < count; ++b) {
        std::vector<std::uint8_t> block(256);
        for (auto& byte : block) {
            seed = seed * 1664525 + 1013904223;
            byte = static_cast<std::uint8_t>(seed >> 24);
        }
        block[2] = static_cast<std::uint8_t>(b % 89);
        block[3] = 0;
        blocks.push_back(block);
    }
    return blocks;
}

struct Notification {
    int code;
    int value;
    std::thread::id thread;
    bool insideCall;
};
std::vector<Notification> g_notifications;
bool g_insideCall = false;

void RecordNotification(int code, int value)
{
    g_notifications.push_back({code, value, std::this_thread::get_id(), g_insideCall});
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DEC_LoadLibrary(), 1);
        ASSERT_TRUE(platform::CreateFolderTree(kFolder));
        host_ = drives_.Host(kFolder);
        g_notifications.clear();
    }
    void TearDown() override
    {
        platform::SetTickOffsetForTesting(0);
        for (int index = 0; index < 48; ++index) {
            DEC_StopCapture(index);
            DEC_DestroyVideoDecoder(index);
        }
        DEC_FreeLibrary();
    }

    int MakeDecoder(int channel, int width, int height, int compressor = kXvid)
    {
        const int index = DEC_CreateVideoDecoder(channel);
        const DecoderFormat format{width, height, compressor};
        EXPECT_EQ(DEC_SetDecoderFMT(index, 0, &format), 1);
        picture_.assign(static_cast<std::size_t>(width) * height * 3 / 2, 0);
        return index;
    }

    int Feed(int index, const test_media::EncodedFrame& frame)
    {
        int length = 0;
        g_insideCall = true;
        const int result = DEC_DecodeData(index, frame.data.data(), picture_.data(),
                                          static_cast<int>(frame.data.size()), &length, frame.key ? 1 : 0, 0);
        g_insideCall = false;
        return result;
    }

    int FeedAudio(int index, const std::vector<std::uint8_t>& block, int captureOnly)
    {
        std::vector<short> pcm(505);
        g_insideCall = true;
        const int result = DEC_DecodeAudio(index, block.data(), pcm.data(), static_cast<int>(block.size()), nullptr,
                                           0, captureOnly);
        g_insideCall = false;
        return result;
    }

    suite::test::TempDriveTable drives_{"CD"};
    std::string host_;
    std::vector<unsigned char> picture_;
};

const test_media::EncodedStream& CifStream()
{
    static const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 100, 25, platform::MakeFourCC('X', 'V', 'I', 'D'));
    return stream;
}

}  // namespace

TEST_F(Capture, RecordsFromTheFirstKeyFrameWithSoundThatFfmpegPlays)
{
    const auto& stream = CifStream();
    ASSERT_TRUE(stream.frames[0].key && stream.frames[25].key && !stream.frames[5].key);
    const auto blocks = AdpcmBlocks(100);
    const int index = MakeDecoder(4, 352, 288);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(Feed(index, stream.frames[i]), 1);

    const std::time_t before = Now();
    ASSERT_EQ(DEC_StartCapture(index, kFolder, 0x102, RecordNotification, 9), 1);
    const std::time_t after = Now();
    // Frames 5 to 24 are delta frames: neither they nor the sound beside them are recorded.
    std::string expectedAudio;
    for (int i = 5; i < 100; ++i) {
        ASSERT_EQ(Feed(index, stream.frames[i]), 1) << i;
        // Sound both decoded and captured, and captured only, as the live client sends it.
        ASSERT_EQ(FeedAudio(index, blocks[i], i % 2), 1) << i;
        if (i >= 25) {
            expectedAudio.append(blocks[i].begin(), blocks[i].end());
        }
    }
    ASSERT_EQ(DEC_StopCapture(index), 1);
    EXPECT_TRUE(g_notifications.empty());

    const auto files = AviFiles(host_);
    ASSERT_EQ(files.size(), 1u);
    const std::time_t named = NameTime(files[0], 'M', 5);
    EXPECT_GE(named, before) << files[0];
    EXPECT_LE(named, after) << files[0];

    const std::string streams = ProbeStreams(files[0]);
    EXPECT_NE(streams.find("codec_name=mpeg4\ncodec_type=video\nwidth=352\nheight=288"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_name=adpcm_ima_wav\ncodec_type=audio\nsample_rate=8000\nchannels=1"),
              std::string::npos)
        << streams;
    const auto packets = ProbePackets(files[0], "v:0");
    ASSERT_EQ(packets.size(), 75u);
    for (int i = 0; i < 75; ++i) {
        EXPECT_EQ(packets[i].size, static_cast<int>(stream.frames[25 + i].data.size())) << i;
        EXPECT_EQ(packets[i].key, stream.frames[25 + i].key) << i;
    }
    EXPECT_EQ(StreamBytes(files[0], "a:0"), expectedAudio);

    // ffmpeg decodes every recorded picture without a complaint.
    const auto decoded =
        RunCommand("ffmpeg -v error -i " + Quoted(files[0]) + " -map 0:v -f framecrc - 2>&1 | grep -vc '^#'");
    EXPECT_EQ(decoded.output, "75\n");
}

TEST_F(Capture, VideoOnlyTimedCaptureLeavesTheSoundOut)
{
    const auto& stream = CifStream();
    const auto blocks = AdpcmBlocks(100);
    const int index = MakeDecoder(11, 352, 288);
    const std::time_t before = Now();
    ASSERT_EQ(DEC_StartCapture(index, kFolder, 0x201, nullptr, 0), 1);
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(Feed(index, stream.frames[i]), 1);
        ASSERT_EQ(FeedAudio(index, blocks[i], 1), 1);
    }
    ASSERT_EQ(DEC_StopCapture(index), 1);
    // Stopping twice, or an entry that never captured, still succeeds.
    EXPECT_EQ(DEC_StopCapture(index), 1);
    EXPECT_EQ(DEC_StopCapture(40), 1);

    const auto files = AviFiles(host_);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(NameTime(files[0], 'T', 12), before) << files[0];
    const std::string streams = ProbeStreams(files[0]);
    EXPECT_EQ(streams.find("codec_type=audio"), std::string::npos) << streams;
    EXPECT_EQ(ProbePackets(files[0], "v:0").size(), 60u);
}

TEST_F(Capture, StartRefusesBadFlagsAndFoldersWithoutFiles)
{
    const int index = MakeDecoder(0, 352, 288);
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_StartCapture(index, kFolder, 0x100, nullptr, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CAPTURE_FLAGS);
    EXPECT_EQ(DEC_StartCapture(index, kFolder, 0x002, nullptr, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CAPTURE_FLAGS);

    // A folder that is gone, and one too long to leave room for the file name.
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_StartCapture(index, "D:\\VIDEO\\removed\\", 0x102, nullptr, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CAPTURE_FILE);
    const std::string longFolder = "D:\\" + std::string(240, 'x') + "\\";
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_StartCapture(index, longFolder.c_str(), 0x102, nullptr, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CAPTURE_FILE);

    // Nothing is recorded after a refused start.
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(Feed(index, CifStream().frames[i]), 1);
    EXPECT_TRUE(AviFiles(host_).empty());
    EXPECT_TRUE(AviFiles(drives_.Host("D:\\VIDEO\\removed\\")).empty());
}

TEST_F(Capture, AFullDiskNotifiesOnTheDecodingThreadAndDecodingGoesOn)
{
    const auto& stream = CifStream();
    const auto blocks = AdpcmBlocks(100);
    const int index = MakeDecoder(2, 352, 288);
    const auto limits = LimitNextNames("M103", 120000);
    ASSERT_EQ(DEC_StartCapture(index, kFolder, 0x102, RecordNotification, 77), 1);
    for (int loop = 0; loop < 3; ++loop) {
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(Feed(index, stream.frames[i]), 1) << i;
            ASSERT_EQ(FeedAudio(index, blocks[i], 0), 1) << i;
        }
    }
    ASSERT_FALSE(g_notifications.empty());
    for (const Notification& notification : g_notifications) {
        EXPECT_EQ(notification.code, DEC_NOTIFY_WRITE_FAILED);
        EXPECT_EQ(notification.value, 77);
        EXPECT_EQ(notification.thread, std::this_thread::get_id());
        EXPECT_TRUE(notification.insideCall);
    }
    EXPECT_EQ(DEC_StopCapture(index), 1);
    // Once stopped, nothing more is written or notified.
    const std::size_t notified = g_notifications.size();
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(Feed(index, stream.frames[i]), 1);
    EXPECT_EQ(g_notifications.size(), notified);
}

TEST_F(Capture, SplitsAtHalfAnHourWhenTheCheckComesDueAndResumesAfterAFailedCut)
{
    // Small pictures keep 27,000 frames quick; a key frame every 15 frames.
    const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 64, 48, 300, 15, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const int index = MakeDecoder(7, 64, 48);
    std::uint64_t offset = 0;
    auto advanceClock = [&offset](std::uint64_t ms) {
        offset += ms;
        platform::SetTickOffsetForTesting(offset);
    };
    int next = 0;
    auto feedNext = [&] { return Feed(index, stream.frames[static_cast<std::size_t>(next++ % 300)]); };

    const std::time_t started = Now();
    ASSERT_EQ(DEC_StartCapture(index, kFolder, 0x102, nullptr, 0), 1);
    // 26,970 frames at 15 per second are 1,799 seconds: the check that comes due then finds
    // the file short of 1,800 seconds and keeps it.
    while (next < 26970)
        ASSERT_EQ(feedNext(), 1) << next;
    advanceClock(180000);
    ASSERT_EQ(feedNext(), 1);
    // Past 1,800 seconds, but the next check is not due for another 180,000 ms.
    while (next < 27200)
        ASSERT_EQ(feedNext(), 1) << next;
    advanceClock(120000);
    ASSERT_EQ(feedNext(), 1);
    ASSERT_EQ(AviFiles(host_).size(), 1u);

    // The cut must not land on the first file's name.
    while (Now() == started)
        std::this_thread::yield();
    // The next file cannot be made (its header finds the disk full): the frame that came
    // due ends the first file and the call reports 138.
    auto limits = LimitNextNames("M108", 0);
    advanceClock(60000);
    DEC_SetLastError(0);
    ASSERT_EQ(feedNext(), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CAPTURE_FILE);
    const int firstFileFrames = next;
    // Delta frames wait for a key frame; a key frame tries again and fails while full.
    while (next % 15 != 0)
        ASSERT_EQ(feedNext(), 1) << next;
    EXPECT_EQ(feedNext(), 0);
    // With room again the next key frame begins the second file.
    limits.clear();
    while (next % 15 != 0)
        ASSERT_EQ(feedNext(), 1) << next;
    const int secondFileStart = next;
    while (next < secondFileStart + 600)
        ASSERT_EQ(feedNext(), 1) << next;
    ASSERT_EQ(DEC_StopCapture(index), 1);

    const auto files = AviFiles(host_);
    ASSERT_EQ(files.size(), 2u);
    const auto first = ProbePackets(files[0], "v:0");
    EXPECT_EQ(first.size(), static_cast<std::size_t>(firstFileFrames));
    EXPECT_TRUE(first.front().key);
    const auto second = ProbePackets(files[1], "v:0");
    ASSERT_EQ(second.size(), 600u);
    EXPECT_TRUE(second.front().key);
    EXPECT_GT(NameTime(files[1], 'M', 8), NameTime(files[0], 'M', 8));
}

TEST_F(Capture, AnH264RecordingIsCutAtHalfAnHourOnAKeyFrameIntoTwoFilesOfItsCodec)
{
    // A camera's H.264 (key frame every 15 frames): the second file starts at the first key
    // frame after the cut came due.
    const test_media::EncodedStream stream = test_media::Encode("libx264", 64, 48, 300, 15);
    ASSERT_EQ(stream.frames.size(), 300u);
    ASSERT_TRUE(stream.frames[0].key);
    const int index = MakeDecoder(7, 64, 48, 5);
    std::uint64_t offset = 0;
    int next = 0;
    auto feedNext = [&] { return Feed(index, stream.frames[static_cast<std::size_t>(next++ % 300)]); };

    const std::time_t started = Now();
    ASSERT_EQ(DEC_StartCapture(index, kFolder, 0x102, nullptr, 0), 1);
    while (next < 27001)
        ASSERT_EQ(feedNext(), 1) << next;
    while (Now() == started)
        std::this_thread::yield();
    offset += 180000;
    platform::SetTickOffsetForTesting(offset);
    const int due = next;
    while (next < due + 600)
        ASSERT_EQ(feedNext(), 1) << next;
    ASSERT_EQ(DEC_StopCapture(index), 1);

    const auto files = AviFiles(host_);
    ASSERT_EQ(files.size(), 2u);
    const auto first = ProbePackets(files[0], "v:0");
    const auto second = ProbePackets(files[1], "v:0");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_TRUE(first.front().key);
    EXPECT_TRUE(second.front().key);
    // The frame that came due ends the first file; the second holds every frame from the
    // next key frame on.
    EXPECT_EQ(first.size(), static_cast<std::size_t>(due + 1));
    const int secondStart = (due + 1 + 14) / 15 * 15;
    EXPECT_EQ(second.size(), static_cast<std::size_t>(next - secondStart));
    for (const auto& file : files) {
        const std::string streams = ProbeStreams(file);
        EXPECT_NE(streams.find("codec_name=h264\ncodec_type=video\nwidth=64\nheight=48"), std::string::npos)
            << streams;
    }
}

TEST_F(Capture, StartsAndStopsWhileOtherThreadsDecodeAndRecord)
{
    const auto& stream = CifStream();
    const auto blocks = AdpcmBlocks(100);
    const int index = MakeDecoder(1, 352, 288);
    const int other = DEC_CreateVideoDecoder(2);
    const DecoderFormat format{352, 288, kXvid};
    ASSERT_EQ(DEC_SetDecoderFMT(other, 0, &format), 1);
    ASSERT_EQ(DEC_StartCapture(other, kFolder, 0x102, nullptr, 0), 1);

    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    auto decodeLoop = [&](int entry) {
        std::vector<unsigned char> picture(352 * 288 * 3 / 2);
        std::vector<short> pcm(505);
        for (int loop = 0; !done; ++loop) {
            const auto& frame = stream.frames[static_cast<std::size_t>(loop % 100)];
            int length = 0;
            failures += DEC_DecodeData(entry, frame.data.data(), picture.data(), static_cast<int>(frame.data.size()),
                                       &length, frame.key, 0) != 1;
            failures += DEC_DecodeAudio(entry, blocks[loop % 100].data(), pcm.data(), 256, nullptr, 0, 0) != 1;
        }
    };
    std::thread first(decodeLoop, index);
    std::thread second(decodeLoop, other);
    for (int round = 0; round < 20; ++round) {
        EXPECT_EQ(DEC_StartCapture(index, kFolder, 0x102, nullptr, 0), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(DEC_StopCapture(index), 1);
    }
    done = true;
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(DEC_StopCapture(other), 1);
}
