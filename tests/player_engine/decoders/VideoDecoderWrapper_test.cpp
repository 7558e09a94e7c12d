// Which decoder the wrapper chooses for a file's FourCC, and that the chosen one decodes.

#include "player_engine/decoders/VideoDecoderWrapper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "player_engine/decoders/VideoFrameBuffer.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace pellix {
namespace {

// Rewrites every "XVID" in the file's header (stream handler and compression) as `fourcc`.
void Retag(const std::string& path, const char* fourcc) {
    std::vector<uint8_t> bytes = test::ReadFile(path);
    for (size_t i = 0; i + 4 <= std::min<size_t>(bytes.size(), 4096); ++i)
        if (std::memcmp(&bytes[i], "XVID", 4) == 0) std::memcpy(&bytes[i], fourcc, 4);
    test::WriteFile(path, bytes);
}

class VideoDecoderWrapperTest : public ::testing::Test {
protected:
    // Opens the file's splitter and the wrapper on it; false when the wrapper refuses.
    bool OpenWrapper(const std::string& path) {
        if (!input_.Open(path.c_str(), true, false) || !splitter_.Open(&input_)) return false;
        return wrapper_.Open(&splitter_);
    }
    std::string Ffmpeg(const char* name, const char* fourcc) {
        const std::string path = drives_.folder() + "/" + name;
        test::FfmpegAvi options;
        options.seconds = 1;
        options.with_audio = false;
        if (!test::MakeFfmpegAvi(path, options)) return {};
        Retag(path, fourcc);
        return path;
    }
    suite::test::TempDriveTable drives_{"CD"};
    FileInput input_;
    AviDemuxer splitter_;
    VideoDecoderWrapper wrapper_;
};

TEST_F(VideoDecoderWrapperTest, LowerCaseXvidGoesToTheXvidLibrary) {
    const std::string path = Ffmpeg("lower.avi", "xvid");
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(OpenWrapper(path));
    EXPECT_STREQ(wrapper_.DisplayName(), "VideoDecoderXviD");
    EXPECT_EQ(wrapper_.FlipFlag(), 0);
    ASSERT_TRUE(wrapper_.SetOutputFormat(kPictureFormatYuy2));
    EXPECT_EQ(wrapper_.PreferredFormat(), kPictureFormatYuy2);
    VideoFrameBuffer ring;
    ASSERT_TRUE(ring.Open(&wrapper_));
    for (int i = 0; i < 15; ++i) ASSERT_NE(ring.TakeNext(), nullptr) << i;
}

TEST_F(VideoDecoderWrapperTest, OtherFourCCsGoToTheCompressionManager) {
    const std::string path = Ffmpeg("fmp4.avi", "FMP4");
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(OpenWrapper(path));
    EXPECT_STRNE(wrapper_.DisplayName(), "VideoDecoderXviD");
    EXPECT_STRNE(wrapper_.DisplayName(), "Video Decoder Wrapper");
    ASSERT_TRUE(wrapper_.SetOutputFormat(kPictureFormatYuy2));
    VideoFrameBuffer ring;
    ASSERT_TRUE(ring.Open(&wrapper_));
    PictureEntry* first = ring.TakeNext();
    ASSERT_NE(first, nullptr);
    // The codec's own planar pictures, copied rather than converted.
    EXPECT_EQ(wrapper_.OutputLayout(), PictureLayout::I420);
    EXPECT_EQ(first->picture.size(), 352u * 288u * 3u / 2u);
    // A testsrc picture has many shades: the decoder really wrote it.
    std::set<uint8_t> lumas;
    for (size_t i = 0; i < 352u * 288u; ++i) lumas.insert(first->picture[i]);
    EXPECT_GT(lumas.size(), 20u);
}

TEST_F(VideoDecoderWrapperTest, FourCCsNoDecoderServesFailTheOpen) {
    test::AviBuildOptions options;
    options.frames = 10;
    for (const char* fourcc : {"WMV3", "ABCD"}) {
        const std::string path = drives_.folder() + "/" + fourcc + ".avi";
        test::WriteFile(path, test::BuildAvi(options));
        Retag(path, fourcc);
        VideoDecoderWrapper wrapper;
        FileInput input;
        AviDemuxer splitter;
        ASSERT_TRUE(input.Open(path.c_str(), true, false));
        ASSERT_TRUE(splitter.Open(&input));
        // A WMV3 stream without its sequence header is refused by both WMV decoders.
        EXPECT_FALSE(wrapper.Open(&splitter)) << fourcc;
        EXPECT_FALSE(wrapper.IsOpen());
        EXPECT_STREQ(wrapper.DisplayName(), "Video Decoder Wrapper");
    }
}

}  // namespace
}  // namespace pellix
