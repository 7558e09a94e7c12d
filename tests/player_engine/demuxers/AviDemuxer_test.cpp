#include "player_engine/demuxers/AviDemuxer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstring>
#include <random>

#include "player_engine/inputs/FileInput.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempFolder.h"

namespace pellix {
namespace {

using test::AviBuildOptions;

// A demuxer opened on a file of its own.
struct Opened {
    FileInput input;
    AviDemuxer demuxer;
    bool ok = false;
    explicit Opened(const std::string& path) { ok = input.Open(path.c_str(), true, false) && demuxer.Open(&input); }
};

class AviDemuxerTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = folder_ / name;
        test::WriteFile(path, bytes);
        return path;
    }
    // Every frame read forwards, as frame numbers (-2 for an empty chunk).
    static std::vector<int> ReadAll(AviDemuxer& demuxer) {
        std::vector<int> numbers;
        for (uint32_t i = 0; i < demuxer.FrameCount(); ++i) {
            VideoFrameRecord frame;
            numbers.push_back(demuxer.ReadFrame(1, frame) ? test::FrameNumberOf(frame.data, frame.size) : -2);
        }
        return numbers;
    }
    suite::test::TempFolder folder_{"pellix-avi"};
};

TEST_F(AviDemuxerTest, FfmpegRecordingMatchesFfprobePacketByPacket) {
    const std::string path = folder_ / "ffmpeg.avi";
    ASSERT_TRUE(test::MakeFfmpegAvi(path, {}));
    const std::vector<int> sizes = test::ProbeVideoPacketSizes(path);
    ASSERT_EQ(sizes.size(), 60u);

    Opened avi(path);
    ASSERT_TRUE(avi.ok);
    EXPECT_EQ(avi.demuxer.FrameCount(), sizes.size());
    EXPECT_EQ(avi.demuxer.Width(), 352);
    EXPECT_EQ(avi.demuxer.Height(), 288);
    EXPECT_DOUBLE_EQ(avi.demuxer.FrameRate(), 15.0);
    EXPECT_EQ(avi.demuxer.VideoFourCC(), 0x44495658u);   // "XVID"
    EXPECT_TRUE(avi.demuxer.HasAudio());
    EXPECT_EQ(avi.demuxer.AudioFormatTag(), 0x11);
    EXPECT_EQ(avi.demuxer.SampleRate(), 8000);
    EXPECT_EQ(avi.demuxer.Channels(), 1);
    EXPECT_EQ(avi.demuxer.BitsPerSample(), 4);
    EXPECT_EQ(avi.demuxer.Source(), AviDemuxer::IndexSource::RelativeIdx1);
    EXPECT_EQ(avi.demuxer.LengthMs(), 4000u);

    for (size_t i = 0; i < sizes.size(); ++i) {
        VideoFrameRecord frame;
        ASSERT_TRUE(avi.demuxer.ReadFrame(1, frame)) << "frame " << i;
        EXPECT_EQ(frame.size, static_cast<uint32_t>(sizes[i])) << "frame " << i;
        EXPECT_EQ(frame.key_frame, i % 25 == 0) << "frame " << i;
        // Decoders read a few bytes past a frame: zeros, never the rest of a bigger frame.
        EXPECT_TRUE(std::all_of(frame.data + frame.size, frame.data + frame.size + kFramePaddingBytes,
                                [](uint8_t byte) { return byte == 0; }))
            << "frame " << i;
    }
    VideoFrameRecord past_end;
    EXPECT_FALSE(avi.demuxer.ReadFrame(1, past_end));

    // All audio bytes come out in 256-byte reads, then the data run out.
    const uint64_t total = avi.demuxer.TotalAudioBytes();
    ASSERT_GT(total, 256u * 10);
    uint64_t read = 0;
    while (!avi.demuxer.ReadAudio(256).empty()) read += 256;
    EXPECT_EQ(read, total / 256 * 256);
}

TEST_F(AviDemuxerTest, AbsoluteRelativeAndMissingIndexAllReadTheSameFrames) {
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) expected[i] = i;
    struct Case {
        AviBuildOptions::Index index;
        bool rec_lists;
        AviDemuxer::IndexSource source;
    } cases[] = {
        {AviBuildOptions::Index::Relative, false, AviDemuxer::IndexSource::RelativeIdx1},
        {AviBuildOptions::Index::Absolute, false, AviDemuxer::IndexSource::AbsoluteIdx1},
        {AviBuildOptions::Index::None, false, AviDemuxer::IndexSource::MoviWalk},
        {AviBuildOptions::Index::None, true, AviDemuxer::IndexSource::MoviWalk},
    };
    for (const Case& c : cases) {
        AviBuildOptions options;
        options.index = c.index;
        options.rec_lists = c.rec_lists;
        options.with_audio = true;
        options.junk_before_movi = 301;   // odd: the pad byte must be skipped
        Opened avi(Write("index.avi", test::BuildAvi(options)));
        ASSERT_TRUE(avi.ok);
        EXPECT_EQ(avi.demuxer.Source(), c.source);
        EXPECT_EQ(ReadAll(avi.demuxer), expected);
        EXPECT_EQ(avi.demuxer.TotalAudioBytes(), 3u * 4096);
        // Key frames come from idx1 or, when rebuilt, from the pictures themselves.
        avi.demuxer.Rewind();
        avi.demuxer.NextKeyFrame();
        EXPECT_EQ(avi.demuxer.CurrentFrameNumber(), 25u);
    }
}

TEST_F(AviDemuxerTest, RecordingCutShortByAKilledWriterStillOpens) {
    // A writer killed before closing leaves stale sizes and no idx1.
    AviBuildOptions options;
    options.frames = 40;
    options.with_audio = true;
    options.index = AviBuildOptions::Index::None;
    options.movi_size_override = 4;
    options.riff_size_zero = true;
    {
        Opened avi(Write("killed.avi", test::BuildAvi(options)));
        ASSERT_TRUE(avi.ok);
        EXPECT_EQ(avi.demuxer.FrameCount(), 40u);
        EXPECT_EQ(ReadAll(avi.demuxer).back(), 39);
    }
    // An ffmpeg recording cut in the middle of a chunk: the incomplete chunk is left out.
    const std::string whole = folder_ / "whole.avi";
    ASSERT_TRUE(test::MakeFfmpegAvi(whole, {}));
    std::vector<uint8_t> bytes = test::ReadFile(whole);
    bytes.resize(bytes.size() * 6 / 10 + 3);
    Opened avi(Write("cut.avi", bytes));
    ASSERT_TRUE(avi.ok);
    EXPECT_EQ(avi.demuxer.Source(), AviDemuxer::IndexSource::MoviWalk);
    EXPECT_GT(avi.demuxer.FrameCount(), 20u);
    EXPECT_LT(avi.demuxer.FrameCount(), 60u);
    for (uint32_t i = 0; i < avi.demuxer.FrameCount(); ++i) {
        VideoFrameRecord frame;
        EXPECT_TRUE(avi.demuxer.ReadFrame(1, frame)) << "frame " << i;
    }
    avi.demuxer.Rewind();
    EXPECT_TRUE(avi.demuxer.SeekToPosition(0.5));
    EXPECT_LT(avi.demuxer.CurrentFrameNumber(), avi.demuxer.FrameCount());
}

TEST_F(AviDemuxerTest, SeekToPositionMovesOnToTheNextKeyFrame) {
    AviBuildOptions options;
    options.frames = 1000;
    options.frame_bytes = 12;
    Opened every25(Write("k25.avi", test::BuildAvi(options)));
    ASSERT_TRUE(every25.ok);
    EXPECT_TRUE(every25.demuxer.SeekToPosition(0.5f));
    EXPECT_EQ(every25.demuxer.CurrentFrameNumber(), 500u);
    VideoFrameRecord frame;
    ASSERT_TRUE(every25.demuxer.ReadFrame(1, frame));
    EXPECT_EQ(test::FrameNumberOf(frame.data, frame.size), 500);

    options.key_interval = 0;
    options.key_frames = {0, 490, 515};
    Opened sparse(Write("sparse.avi", test::BuildAvi(options)));
    ASSERT_TRUE(sparse.ok);
    EXPECT_TRUE(sparse.demuxer.SeekToPosition(0.5f));
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 515u);
    // Past the last key frame there is nowhere to start: the end.
    EXPECT_TRUE(sparse.demuxer.SeekToPosition(0.9f));
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 1000u);
    EXPECT_FALSE(sparse.demuxer.SeekToPosition(1.5));
    // Key-frame walks.
    sparse.demuxer.SeekToFrame(500, FrameOrigin::Begin);
    sparse.demuxer.PreviousKeyFrame();
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 490u);
    sparse.demuxer.NextKeyFrame();
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 515u);
    sparse.demuxer.SeekToFrame(5000, FrameOrigin::Begin);
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 999u);
    sparse.demuxer.SeekToFrame(-3, FrameOrigin::Last);
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 996u);
    sparse.demuxer.SeekToFrame(-1000, FrameOrigin::Current);
    EXPECT_EQ(sparse.demuxer.CurrentFrameNumber(), 0u);
}

TEST_F(AviDemuxerTest, UnknownFrameRatesPlayAtTwentyFive) {
    for (uint32_t rate : {23u, 0u}) {
        AviBuildOptions options;
        options.rate = rate;
        Opened avi(Write("rate.avi", test::BuildAvi(options)));
        ASSERT_TRUE(avi.ok);
        EXPECT_DOUBLE_EQ(avi.demuxer.FrameRate(), 25.0) << rate;
        EXPECT_EQ(avi.demuxer.LengthMs(), 2000u);
    }
    AviBuildOptions half;
    half.rate = 25;
    half.scale = 2;
    Opened avi(Write("half.avi", test::BuildAvi(half)));
    EXPECT_DOUBLE_EQ(avi.demuxer.FrameRate(), 12.5);
}

TEST_F(AviDemuxerTest, AudioSeeksRespectChunkSizes) {
    // A 1000-byte audio chunk is always entered at its start.
    AviBuildOptions small;
    small.frames = 150;
    small.with_audio = true;
    small.audio_chunk_bytes = 1000;
    Opened a(Write("small.avi", test::BuildAvi(small)));
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.demuxer.SeekAudio(2700));
    std::span<const uint8_t> bytes = a.demuxer.ReadAudio(0xFFFF);
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes[0], 2);   // the third chunk, from its first byte

    // A 4096-byte chunk is entered at the 256-byte block that holds the position.
    AviBuildOptions large;
    large.frames = 150;
    large.with_audio = true;
    Opened b(Write("large.avi", test::BuildAvi(large)));
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(b.demuxer.SeekAudio(4096 + 1000));
    EXPECT_EQ(b.demuxer.CurrentAudioBlock(), 16u + 3u);
    EXPECT_DOUBLE_EQ(b.demuxer.AudioPosition(), (768.0 + 4096.0) / (10 * 4096.0));

    // Frame 300 at 25 fps is 12 s: 12000 * 4096 / 1010 bytes, down to a whole block.
    EXPECT_EQ(AviDemuxer::AudioBytePositionOfFrame(25.0, 300), 48640);
    b.demuxer.SeekToFrame(100, FrameOrigin::Begin);
    EXPECT_TRUE(b.demuxer.AlignAudioWithVideo());
    EXPECT_EQ(b.demuxer.CurrentAudioBlock(), static_cast<uint32_t>(AviDemuxer::AudioBytePositionOfFrame(25.0, 100) / 256));

    // A read that runs out of data gives nothing and leaves the position where it was.
    b.demuxer.SeekAudio(9 * 4096 + 3840);
    EXPECT_TRUE(b.demuxer.ReadAudio(512).empty());
    EXPECT_EQ(b.demuxer.ReadAudio(256).size(), 256u);
    EXPECT_TRUE(b.demuxer.ReadAudio(256).empty());
}

TEST_F(AviDemuxerTest, EmptyPacingFramesAreStepped) {
    AviBuildOptions options;
    options.frames = 6;
    options.empty_frames = {2, 3};
    Opened avi(Write("empty.avi", test::BuildAvi(options)));
    ASSERT_TRUE(avi.ok);
    EXPECT_EQ(avi.demuxer.FrameCount(), 6u);
    EXPECT_EQ(ReadAll(avi.demuxer), (std::vector<int>{0, 1, -2, -2, 4, 5}));
    // Backwards steps one entry, and not below entry 1.
    avi.demuxer.SeekToFrame(5, FrameOrigin::Begin);
    VideoFrameRecord frame;
    ASSERT_TRUE(avi.demuxer.ReadFrame(-1, frame));
    EXPECT_EQ(test::FrameNumberOf(frame.data, frame.size), 4);
    avi.demuxer.SeekToFrame(1, FrameOrigin::Begin);
    ASSERT_TRUE(avi.demuxer.ReadFrame(-1, frame));
    EXPECT_EQ(test::FrameNumberOf(frame.data, frame.size), 1);
}

TEST_F(AviDemuxerTest, RefusesWhatIsNotAPlayableRecording) {
    EXPECT_FALSE(Opened(Write("empty", {})).ok);
    EXPECT_FALSE(Opened(Write("text", std::vector<uint8_t>(1000, 'a'))).ok);
    AviBuildOptions options;
    std::vector<uint8_t> no_video = test::BuildAvi(options);
    no_video[no_video.size() / 2] = 0;   // leave the header intact ...
    for (size_t i = 0; i + 4 < no_video.size(); ++i)
        if (std::memcmp(&no_video[i], "vids", 4) == 0) std::memcpy(&no_video[i], "txts", 4);
    EXPECT_FALSE(Opened(Write("novideo.avi", no_video)).ok);
    std::vector<uint8_t> header_only = test::BuildAvi(options);
    header_only.resize(200);
    EXPECT_FALSE(Opened(Write("header.avi", header_only)).ok);
}

// Hostile files: bytes changed at random in the header, index and chunk headers must give a
// failed open or skipped frames, never a crash or a hang.
TEST_F(AviDemuxerTest, CorruptedFilesNeverCrash) {
    AviBuildOptions options;
    options.frames = 60;
    options.with_audio = true;
    const std::vector<uint8_t> good = test::BuildAvi(options);
    std::mt19937 random(12345);
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = good;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int c = 0; c < changes; ++c) {
            const size_t at = random() % bytes.size();
            switch (random() % 3) {
                case 0: bytes[at] = static_cast<uint8_t>(random()); break;
                case 1: bytes[at] = 0xFF; if (at + 3 < bytes.size()) bytes[at + 3] = 0x7F; break;
                default: bytes.resize(at + 1); break;
            }
        }
        Opened avi(Write("fuzz.avi", bytes));
        if (!avi.ok) continue;
        ++opened;
        ReadAll(avi.demuxer);
        avi.demuxer.SeekToPosition(0.5);
        while (!avi.demuxer.ReadAudio(0xFFFF).empty()) {
        }
    }
    EXPECT_GT(opened, 50);
}

}  // namespace
}  // namespace pellix
