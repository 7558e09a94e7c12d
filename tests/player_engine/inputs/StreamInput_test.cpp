#include "player_engine/inputs/StreamInput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "player_engine/demuxers/NetworkDemuxer.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempFolder.h"

namespace pellix {
namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The fixed network header of a live stream.
std::vector<uint8_t> NetworkHeader(uint16_t audio_streams, bool trailers, uint16_t frame_rate = 25) {
    std::vector<uint8_t> h(44, 0);
    Put16(h, 0, 352);
    Put16(h, 2, 288);
    Put16(h, 4, frame_rate);
    Put16(h, 6, 12);
    std::memcpy(&h[8], "XVID", 4);
    Put32(h, 12, 1000);
    Put16(h, 18, 1);
    Put16(h, 20, 17);
    Put16(h, 22, 1);
    Put32(h, 24, 8000);
    Put32(h, 28, 4055);
    Put16(h, 32, 256);
    Put16(h, 34, 4);
    Put16(h, 36, trailers ? 1 : 0);
    Put16(h, 38, audio_streams);
    return h;
}

std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> c(8);
    std::memcpy(c.data(), id, 4);
    Put32(c, 4, static_cast<uint32_t>(payload.size()));
    c.insert(c.end(), payload.begin(), payload.end());
    if (payload.size() & 1) c.push_back(0);
    return c;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

template <typename Condition>
bool WaitFor(Condition condition, int timeout_ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Feeds `bytes` in pieces as the playback program does, retrying a refused piece, while the
// splitter takes frames; returns the frames taken.
std::vector<std::vector<uint8_t>> FeedAndTake(StreamInput& input, NetworkDemuxer& demuxer, const uint8_t* bytes,
                                              size_t count, size_t piece_bytes, size_t expected_frames) {
    std::vector<std::vector<uint8_t>> frames;
    std::thread feeder([&] {
        for (size_t at = 0; at < count;) {
            const size_t piece = std::min(piece_bytes, count - at);
            if (input.Append(bytes + at, piece))
                at += piece;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (frames.size() < expected_frames && std::chrono::steady_clock::now() < until) {
        VideoFrameRecord frame;
        if (demuxer.ReadFrame(1, frame))
            frames.emplace_back(frame.data, frame.data + frame.size);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    feeder.join();
    return frames;
}

TEST(StreamHeaderTest, HeaderFormsAndRefusals) {
    // Network header without audio: no audio stream, video frames lose their 4 tail bytes.
    auto net = ParseStreamHeader(NetworkHeader(0, true).data(), 44);
    ASSERT_TRUE(net);
    EXPECT_EQ(net->audio_streams, 0u);
    EXPECT_FALSE(net->frames_carry_trailers);   // the trailer bit counts only with audio
    EXPECT_TRUE(net->cut_video_tail);
    EXPECT_EQ(std::string(net->video_chunk_id, 4), "00db");

    auto with_audio = ParseStreamHeader(NetworkHeader(1, false).data(), 44);
    ASSERT_TRUE(with_audio);
    EXPECT_EQ(std::string(with_audio->audio_chunk_id, 4), "01wb");
    EXPECT_EQ(with_audio->audio_piece_bytes, 4055u * 40 / 1000);

    // AVI header: stream 0 video, stream 1 audio.
    test::AviBuildOptions options;
    options.with_audio = true;
    std::vector<uint8_t> avi = test::BuildAvi(options);
    auto facts = ParseStreamHeader(avi.data(), 512);
    ASSERT_TRUE(facts);
    EXPECT_EQ(std::string(facts->video_chunk_id, 4), "00db");
    EXPECT_EQ(std::string(facts->audio_chunk_id, 4), "01wb");
    EXPECT_EQ(facts->audio_piece_bytes, 256u);
    EXPECT_EQ(facts->video.width, 352);
    EXPECT_EQ(facts->video.frame_rate, 25);
    EXPECT_EQ(facts->video.compression, 0x44495658u);
    EXPECT_EQ(facts->audio.format_tag, 17);

    EXPECT_FALSE(ParseStreamHeader(NetworkHeader(0, false).data(), 43));
    std::vector<uint8_t> not_riff = avi;
    not_riff[0] = 'X';
    EXPECT_FALSE(ParseStreamHeader(not_riff.data(), 512));
    std::vector<uint8_t> not_hdrl = avi;
    not_hdrl[20] = 'X';
    EXPECT_FALSE(ParseStreamHeader(not_hdrl.data(), 512));
    // An hdrl list longer than the header given is refused, not read past the end.
    EXPECT_FALSE(ParseStreamHeader(avi.data(), 120));
}

class StreamInputTest : public ::testing::Test {
protected:
    void OpenWith(const std::vector<uint8_t>& header) {
        ASSERT_TRUE(input_.ReadHeader(header.data(), header.size()));
        ASSERT_TRUE(input_.Open(nullptr, true, true));
        ASSERT_TRUE(demuxer_.Open(&input_));
    }
    bool Push(const std::vector<uint8_t>& bytes) { return input_.Append(bytes.data(), bytes.size()); }

    StreamInput input_;
    NetworkDemuxer demuxer_;
};

TEST_F(StreamInputTest, NetworkLayoutsCutFramesAndSkipGarbage) {
    OpenWith(NetworkHeader(0, false));
    EXPECT_TRUE(demuxer_.HasVideo());
    EXPECT_FALSE(demuxer_.HasAudio());
    // Garbage before a chunk, an audio chunk the header did not announce, an empty chunk.
    std::vector<uint8_t> bytes = Bytes(10, 0x5A);
    for (const auto& part : {Chunk("01wb", Bytes(256, 1)), Chunk("00db", {}),
                             Chunk("00db", {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE}), Chunk("00dc", Bytes(7, 9))})
        bytes.insert(bytes.end(), part.begin(), part.end());
    ASSERT_TRUE(Push(bytes));
    ASSERT_TRUE(WaitFor([&] { return input_.QueuedVideoFrames() == 2; }));
    EXPECT_EQ(input_.QueuedAudioPieces(), 0u);
    VideoFrameRecord frame;
    ASSERT_TRUE(demuxer_.ReadFrame(1, frame));
    EXPECT_EQ(std::vector<uint8_t>(frame.data, frame.data + frame.size), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(frame.key_frame);
    ASSERT_TRUE(demuxer_.ReadFrame(1, frame));
    EXPECT_EQ(frame.size, 3u);
    EXPECT_EQ(demuxer_.CurrentFrameNumber(), 2u);
    EXPECT_EQ(input_.BufferRemain(), 0u);
}

TEST_F(StreamInputTest, TrailersCarryKeyFlagsAndStampsAndAudioNeverBlocksVideo) {
    OpenWith(NetworkHeader(1, true, 125));
    EXPECT_DOUBLE_EQ(demuxer_.FrameRate(), 25.0);   // 125: a measured rate, 100 added
    EXPECT_TRUE(demuxer_.TrailerFlag());
    // The IMA ADPCM format the stream's sound would decode with: 505 samples a block.
    const std::vector<uint8_t>& wave = demuxer_.AudioFormat();
    ASSERT_EQ(wave.size(), 20u);
    EXPECT_EQ(wave[16] | (wave[17] << 8), 2);
    EXPECT_EQ(wave[18] | (wave[19] << 8), 505);
    auto trailer = [](std::vector<uint8_t> payload, uint32_t flag, uint32_t stamp) {
        payload.resize(payload.size() + 8);
        Put32(payload, payload.size() - 8, flag);
        Put32(payload, payload.size() - 4, stamp);
        return payload;
    };
    // Far more audio than the queue holds; nobody takes it.
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(Push(Chunk("01wb", Bytes(164, 2))));
    ASSERT_TRUE(Push(Chunk("00db", trailer({7, 7, 7}, 0, 4000))));
    ASSERT_TRUE(Push(Chunk("00db", trailer({8, 8}, 1, 4040))));
    ASSERT_TRUE(WaitFor([&] { return input_.QueuedVideoFrames() == 2; }));
    EXPECT_EQ(input_.QueuedAudioPieces(), 50u);
    QueuedPiece piece;
    ASSERT_TRUE(input_.TakeVideoFrame(piece));
    EXPECT_EQ(piece.data, (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_TRUE(piece.key_frame);
    EXPECT_EQ(piece.value, 4000u);
    ASSERT_TRUE(input_.TakeVideoFrame(piece));
    EXPECT_FALSE(piece.key_frame);
    EXPECT_EQ(piece.value, 4040u);
    ASSERT_TRUE(input_.TakeAudioPiece(piece));
    EXPECT_EQ(piece.data.size(), 160u);
}

TEST_F(StreamInputTest, RecordedFileFedInPiecesGivesEveryFrame) {
    // A recording names its video chunks "00dc"; the stream must still find them.
    test::AviBuildOptions options;
    options.frames = 300;
    options.frame_bytes = 3001;
    options.with_audio = true;
    options.empty_frames = {10, 11, 12};
    options.junk_before_movi = 1500;
    const std::vector<uint8_t> file = test::BuildAvi(options);
    OpenWith(std::vector<uint8_t>(file.begin(), file.begin() + 512));
    ASSERT_TRUE(input_.SetBufferSize(0x100000));
    EXPECT_EQ(demuxer_.FrameCount(), 300u);
    const auto frames = FeedAndTake(input_, demuxer_, file.data() + 512, file.size() - 512, 10240, 297);
    ASSERT_EQ(frames.size(), 297u);
    int expected = 0;
    for (const auto& frame : frames) {
        if (expected == 10) expected = 13;
        EXPECT_EQ(test::FrameNumberOf(frame.data(), static_cast<uint32_t>(frame.size())), expected);
        EXPECT_EQ(frame.size(), 3001u);
        ++expected;
    }
    // The index after the frames is passed over, not taken for frames.
    EXPECT_TRUE(WaitFor([&] { return input_.BufferRemain() == 0; }));
    EXPECT_EQ(input_.QueuedVideoFrames(), 0u);
}

TEST_F(StreamInputTest, FfmpegFileFedAfterItsHeaderMatchesFfprobe) {
    suite::test::TempFolder folder("pellix-stream");
    const std::string path = folder / "ffmpeg.avi";
    ASSERT_TRUE(test::MakeFfmpegAvi(path, {}));
    const std::vector<uint8_t> file = test::ReadFile(path);
    const std::vector<int> sizes = test::ProbeVideoPacketSizes(path);
    size_t movi = 0;
    for (size_t i = 0; i + 4 < file.size(); ++i)
        if (std::memcmp(&file[i], "movi", 4) == 0) {
            movi = i + 4;
            break;
        }
    ASSERT_GT(movi, 512u);   // this writer's header does not fit 512 bytes; hand it the whole header
    OpenWith(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(movi)));
    const auto frames = FeedAndTake(input_, demuxer_, file.data() + movi, file.size() - movi, 10240, sizes.size());
    ASSERT_EQ(frames.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(frames[i].size(), static_cast<size_t>(sizes[i])) << i;
}

TEST_F(StreamInputTest, FullRingRefusesWholeAndResetDropsHalfReadChunks) {
    OpenWith(NetworkHeader(0, false));
    // 50 frames fill the queue; the 51st holds the parser, so the ring fills up.
    for (int i = 0; i < 51; ++i) ASSERT_TRUE(Push(Chunk("00db", Bytes(100, static_cast<uint8_t>(i)))));
    ASSERT_TRUE(WaitFor([&] { return input_.QueuedVideoFrames() == 50 && input_.BufferRemain() == 0; }));
    ASSERT_TRUE(Push(Bytes(51000, 0)));
    const uint32_t before = input_.BufferRemain();
    EXPECT_EQ(before, 51000u);
    EXPECT_FALSE(Push(Bytes(201, 0)));
    EXPECT_EQ(input_.BufferRemain(), before);
    EXPECT_TRUE(Push(Bytes(200, 0)));

    EXPECT_TRUE(input_.ResetBuffer());
    EXPECT_EQ(input_.BufferRemain(), 0u);
    EXPECT_EQ(input_.QueuedVideoFrames(), 0u);
    // The frame the parser held before the reset is dropped, not queued after it.
    ASSERT_TRUE(Push(Chunk("00db", {1, 2, 3, 4, 5, 9, 9, 9, 9})));
    ASSERT_TRUE(WaitFor([&] { return input_.QueuedVideoFrames() == 1; }));
    QueuedPiece piece;
    ASSERT_TRUE(input_.TakeVideoFrame(piece));
    EXPECT_EQ(piece.data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

struct CallbackLog {
    std::atomic<int> calls{0};
    std::atomic<unsigned> last_remain{0};
    std::atomic<int> port{-1};
};

void OnSourceBuffer(int port, unsigned int remain, void* user, void* reserved) {
    auto* log = static_cast<CallbackLog*>(user);
    EXPECT_EQ(reserved, nullptr);
    log->port = port;
    log->last_remain = remain;
    ++log->calls;
}

TEST_F(StreamInputTest, SourceBufferCallbackFiresOnceUntilRearmed) {
    CallbackLog log;
    SourceCallbackSettings settings;
    settings.port = 7;
    settings.threshold_bytes = 51200;
    settings.callback = &OnSourceBuffer;
    settings.user = &log;
    input_.SetCallback(settings);
    OpenWith(NetworkHeader(0, false));
    ASSERT_TRUE(input_.SetBufferSize(0x100000));
    // Empty at first: the engine asks for data once.
    ASSERT_TRUE(WaitFor([&] { return log.calls == 1; }));
    EXPECT_EQ(log.port, 7);
    // Fill well above the threshold behind a held parser, then let it drain.
    for (int i = 0; i < 51; ++i) ASSERT_TRUE(Push(Chunk("00db", Bytes(100, 1))));
    ASSERT_TRUE(WaitFor([&] { return input_.QueuedVideoFrames() == 50; }));
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(Push(Chunk("00db", Bytes(4000, 2))));
    EXPECT_TRUE(input_.RearmCallback());
    QueuedPiece piece;
    while (input_.BufferRemain() > 0 || input_.QueuedVideoFrames() > 0) {
        input_.TakeVideoFrame(piece);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(WaitFor([&] { return log.calls == 2; }));
    EXPECT_LE(log.last_remain, 51200u);
    EXPECT_GT(log.last_remain, 51200u - 4100);   // called as it crossed the threshold
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(log.calls, 2);
    EXPECT_TRUE(input_.RearmCallback());
    ASSERT_TRUE(WaitFor([&] { return log.calls == 3; }));
}

}  // namespace
}  // namespace pellix
