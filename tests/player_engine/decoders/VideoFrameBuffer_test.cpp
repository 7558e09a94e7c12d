// The picture ring over a real splitter with a decoder that records which frames it was given:
// decoding on take, the walk back from a key frame, passing frames over undecoded, and the
// picture information block at the end of a frame.

#include "player_engine/decoders/VideoFrameBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/support/TempDriveTable.h"

namespace pellix {
namespace {

// "Decodes" a built frame by writing its number into the first four bytes of the picture.
class NumberDecoder final : public VideoDecoder {
public:
    const char* DisplayName() const override { return "Number Decoder"; }
    bool Open(Demuxer* splitter) override {
        splitter_ = splitter;
        return true;
    }
    void Close() override { splitter_ = nullptr; }
    uint32_t OutputSize() const override { return 352 * 288 * 2; }
    std::vector<int> decoded;

protected:
    DecompressResult Decompress(const uint8_t* data, uint32_t size, bool, bool, uint8_t* picture) override {
        const int number = test::FrameNumberOf(data, size);
        decoded.push_back(number);
        std::memcpy(picture, &number, sizeof number);
        return DecompressResult::Picture;
    }
};

int NumberIn(const PictureEntry* entry) {
    int number = -1;
    if (entry != nullptr) std::memcpy(&number, entry->picture.data(), sizeof number);
    return number;
}

class VideoFrameBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::AviBuildOptions options;
        options.frames = 60;
        options.key_interval = 25;
        const std::string path = drives_.folder() + "/ring.avi";
        test::WriteFile(path, test::BuildAvi(options));
        ASSERT_TRUE(input_.Open(path.c_str(), true, false));
        ASSERT_TRUE(splitter_.Open(&input_));
        ASSERT_TRUE(decoder_.Open(&splitter_));
    }
    suite::test::TempDriveTable drives_{"CD"};
    FileInput input_;
    AviDemuxer splitter_;
    NumberDecoder decoder_;
    VideoFrameBuffer ring_;
};

TEST_F(VideoFrameBufferTest, RingSizeAndDecodingOnTake) {
    EXPECT_FALSE(ring_.SetCount(2));
    EXPECT_FALSE(ring_.SetCount(16));
    ASSERT_TRUE(ring_.SetCount(8));
    EXPECT_FALSE(ring_.Open(&splitter_));   // not a video decoder
    ASSERT_TRUE(ring_.Open(&decoder_));
    EXPECT_FALSE(ring_.Open(&decoder_));
    EXPECT_FALSE(ring_.SetCount(5));
    EXPECT_TRUE(decoder_.decoded.empty());   // nothing is decoded before it is taken

    std::vector<const PictureEntry*> given;
    for (int i = 0; i < 10; ++i) given.push_back(ring_.TakeNext());
    EXPECT_EQ(NumberIn(given[9]), 9);
    EXPECT_EQ(given[9], given[0]);   // nine entries, reused in turn
    EXPECT_NE(given[8], given[0]);
    EXPECT_EQ(ring_.Delivered(), 10u);
    EXPECT_EQ(given[9]->frame_number, 10u);
    // The current picture again, without decoding anything.
    EXPECT_EQ(NumberIn(ring_.TakeCurrent()), 9);
    EXPECT_EQ(decoder_.decoded.size(), 10u);
    ring_.Close();
    EXPECT_TRUE(ring_.SetCount(3));
}

TEST_F(VideoFrameBufferTest, PreviousPictureRightAfterAKeyFrameWalksFromTheKeyFrameBefore) {
    ASSERT_TRUE(ring_.Open(&decoder_));
    for (int i = 0; i <= 25; ++i) ASSERT_EQ(NumberIn(ring_.TakeNext()), i);
    decoder_.decoded.clear();
    EXPECT_EQ(NumberIn(ring_.TakePrevious()), 24);
    std::vector<int> walk(25);
    for (int i = 0; i < 25; ++i) walk[static_cast<size_t>(i)] = i;
    EXPECT_EQ(decoder_.decoded, walk);
    EXPECT_EQ(splitter_.CurrentFrameNumber(), 25u);
    // Stepping on from there gives the key frame again, then the frame after it.
    EXPECT_EQ(NumberIn(ring_.TakeNext()), 25);
    EXPECT_EQ(NumberIn(ring_.TakeNext()), 26);
    // Back from the middle of a group walks only from its own key frame.
    for (int i = 27; i <= 30; ++i) ring_.TakeNext();
    decoder_.decoded.clear();
    EXPECT_EQ(NumberIn(ring_.TakePrevious()), 29);
    EXPECT_EQ(decoder_.decoded, (std::vector<int>{25, 26, 27, 28, 29}));
}

TEST_F(VideoFrameBufferTest, SkippingPassesOverFramesButNeverAKeyFrame) {
    ASSERT_TRUE(ring_.Open(&decoder_));
    for (int i = 0; i < 23; ++i) ring_.TakeNext();
    decoder_.decoded.clear();
    EXPECT_TRUE(ring_.SkipNext());    // 23
    EXPECT_TRUE(ring_.SkipNext());    // 24
    EXPECT_FALSE(ring_.SkipNext());   // 25 is a key frame: left to be read
    EXPECT_FALSE(ring_.SkipNext());
    EXPECT_TRUE(decoder_.decoded.empty());
    EXPECT_EQ(NumberIn(ring_.TakeNext()), 25);
}

TEST(InfoBlockTest, FoundAtTheEndWithOrWithoutOnePaddingByte) {
    std::vector<uint8_t> frame(200, 0x11);
    std::memcpy(&frame[200 - 4], "15dc", 4);
    EXPECT_EQ(FindInfoBlock(frame.data(), 200), 200 - 56);
    frame.push_back(0);
    EXPECT_EQ(FindInfoBlock(frame.data(), 201), 200 - 56);
    frame.push_back(0);
    EXPECT_EQ(FindInfoBlock(frame.data(), 202), -1);   // two bytes after the marker: none
    EXPECT_EQ(FindInfoBlock(frame.data(), 40), -1);
    std::vector<uint8_t> tiny = {'1', '5', 'd', 'c'};
    EXPECT_EQ(FindInfoBlock(tiny.data(), 4), -1);       // shorter than a block
}

}  // namespace
}  // namespace pellix
