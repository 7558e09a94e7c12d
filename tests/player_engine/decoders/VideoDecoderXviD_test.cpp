// The XviD decoder filters the luma itself instead of asking the library to: its pictures must
// be the library's own deblocked YUY2 pictures, byte for byte, whatever the stream holds.

#include "player_engine/decoders/VideoDecoderXviD.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <xvid.h>

#include <string>
#include <vector>

#include "player_engine/decoders/VideoFrameBuffer.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace pellix {
namespace {

using XvidFunction = int (*)(void*, int, void*, void*);

// Every picture of the file as the library itself gives it with luma deblocking on, read
// through a splitter of its own.
std::vector<std::vector<uint8_t>> LibraryPictures(const std::string& path, int width, int height) {
    std::vector<std::vector<uint8_t>> pictures;
    void* library = dlopen("libxvidcore.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return pictures;
    auto global = reinterpret_cast<XvidFunction>(dlsym(library, "xvid_global"));
    auto decore = reinterpret_cast<XvidFunction>(dlsym(library, "xvid_decore"));
    FileInput input;
    AviDemuxer splitter;
    xvid_gbl_init_t init{};
    init.version = XVID_VERSION;
    xvid_dec_create_t create{};
    create.version = XVID_VERSION;
    create.width = width;
    create.height = height;
    if (global == nullptr || decore == nullptr || !input.Open(path.c_str(), true, false) || !splitter.Open(&input) ||
        global(nullptr, XVID_GBL_INIT, &init, nullptr) < 0 || decore(nullptr, XVID_DEC_CREATE, &create, nullptr) < 0) {
        dlclose(library);
        return pictures;
    }
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 2);
    VideoFrameRecord frame;
    while (splitter.ReadFrame(1, frame)) {
        const uint8_t* rest = frame.data;
        int remaining = static_cast<int>(frame.size);
        for (int pass = 0; pass < 4 && remaining > 0; ++pass) {
            xvid_dec_frame_t call{};
            call.version = XVID_VERSION;
            call.general = XVID_LOWDELAY | XVID_DEBLOCKY;
            call.bitstream = const_cast<uint8_t*>(rest);
            call.length = remaining;
            call.output.csp = XVID_CSP_YUY2;
            call.output.plane[0] = picture.data();
            call.output.stride[0] = width * 2;
            xvid_dec_stats_t stats{};
            stats.version = XVID_VERSION;
            const int used = decore(create.handle, XVID_DEC_DECODE, &call, &stats);
            if (used < 0) break;
            if (stats.type == XVID_TYPE_VOL) {
                rest += used;
                remaining -= used;
                continue;
            }
            if (stats.type > 0) pictures.push_back(picture);
            break;
        }
    }
    decore(create.handle, XVID_DEC_DESTROY, nullptr, nullptr);
    dlclose(library);
    return pictures;
}

class VideoDecoderXviDTest : public ::testing::Test {
protected:
    // An MPEG-4 AVI tagged XVID from a noisy moving picture, so that the filter has edges to
    // smooth in every block; `extra` adds encoder options.
    std::string Make(const std::string& name, int width, int height, const std::string& extra) {
        const std::string path = drives_.folder() + "/" + name;
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'testsrc2=size=" +
                                    std::to_string(width) + "x" + std::to_string(height) +
                                    ":rate=15,noise=alls=20:allf=t' -t 3 -c:v mpeg4 -vtag XVID -g 12 " + extra +
                                    " '" + path + "' && echo ok";
        return test::RunCommand(command).find("ok") != std::string::npos ? path : std::string{};
    }

    // Decodes every picture through the frame buffer and compares it with the library's own.
    void ExpectLibraryPictures(const std::string& path, int width, int height) {
        ASSERT_FALSE(path.empty());
        const std::vector<std::vector<uint8_t>> expected = LibraryPictures(path, width, height);
        ASSERT_GT(expected.size(), 30u);
        FileInput input;
        AviDemuxer splitter;
        VideoDecoderXviD decoder;
        VideoFrameBuffer ring;
        ASSERT_TRUE(input.Open(path.c_str(), true, false));
        ASSERT_TRUE(splitter.Open(&input));
        ASSERT_TRUE(decoder.Open(&splitter));
        ASSERT_TRUE(decoder.SetOutputFormat(kPictureFormatYuy2));
        ASSERT_TRUE(ring.Open(&decoder));
        // A frame that gives no picture (the first of a stream with pictures predicted from
        // both sides) passes without one, as it does in the library.
        size_t index = 0;
        for (uint32_t frame = 0; frame < splitter.FrameCount(); ++frame) {
            const PictureEntry* entry = ring.TakeNext();
            if (entry == nullptr) continue;
            ASSERT_LT(index, expected.size());
            ASSERT_EQ(entry->picture, expected[index]) << path << " picture " << index;
            ++index;
        }
        EXPECT_EQ(index, expected.size()) << path;
    }

    suite::test::TempDriveTable drives_{"CD"};
};

TEST_F(VideoDecoderXviDTest, PicturesMatchTheLibrarysDeblockingAtEveryStrength) {
    // Fine and coarse quantisers, and a quantiser that changes from macroblock to macroblock.
    ExpectLibraryPictures(Make("fine.avi", 352, 288, "-q:v 2"), 352, 288);
    ExpectLibraryPictures(Make("coarse.avi", 352, 288, "-q:v 24"), 352, 288);
    ExpectLibraryPictures(Make("adaptive.avi", 352, 288, "-b:v 120k -lumi_mask 0.3 -dark_mask 0.3 -p_mask 0.3"), 352,
                          288);
}

TEST_F(VideoDecoderXviDTest, PicturesMatchForOtherShapesOfStream) {
    // Sizes that end inside a macroblock (the filter reads below the picture), pictures
    // predicted from both sides, and an interlaced stream (whose fields keep their own chroma).
    ExpectLibraryPictures(Make("partial.avi", 344, 280, "-q:v 6"), 344, 280);
    ExpectLibraryPictures(Make("narrow.avi", 350, 286, "-q:v 6"), 350, 286);
    ExpectLibraryPictures(Make("bidirectional.avi", 352, 288, "-bf 2 -q:v 4"), 352, 288);
    ExpectLibraryPictures(Make("interlaced.avi", 352, 288, "-flags +ildct+ilme -q:v 4"), 352, 288);
}

}  // namespace
}  // namespace pellix
