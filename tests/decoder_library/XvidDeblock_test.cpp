// The decoding library filters the XviD luma itself instead of asking the XviD library to: every
// picture DEC_DecodeData gives must be the XviD library's own deblocked YV12 picture, byte for
// byte, laid out at the picture's own width, whatever the stream holds.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <xvid.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder_library/Halvane.h"
#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/inputs/FileInput.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

namespace {

using XvidFunction = int (*)(void*, int, void*, void*);
using Picture = std::vector<std::uint8_t>;

struct Frame {
    std::vector<std::uint8_t> data;
    bool key = false;
};

std::vector<Frame> ReadFrames(const std::string& path)
{
    std::vector<Frame> frames;
    pellix::FileInput input;
    pellix::AviDemuxer splitter;
    if (!input.Open(path.c_str(), true, false) || !splitter.Open(&input))
        return frames;
    pellix::VideoFrameRecord record;
    while (splitter.ReadFrame(1, record))
        frames.push_back({std::vector<std::uint8_t>(record.data, record.data + record.size), record.key_frame});
    return frames;
}

// Every picture as the XviD library itself gives it with luma deblocking on: YV12 with rows
// rounded up to a multiple of 4 (the library's own layout), taken down to width x height with
// chroma of width / 2 x height / 2, Y then V then U. A frame without a picture gives none.
std::vector<Picture> LibraryPictures(const std::vector<Frame>& frames, int width, int height)
{
    std::vector<Picture> pictures;
    void* library = dlopen("libxvidcore.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return pictures;
    auto global = reinterpret_cast<XvidFunction>(dlsym(library, "xvid_global"));
    auto decore = reinterpret_cast<XvidFunction>(dlsym(library, "xvid_decore"));
    xvid_gbl_init_t init{};
    init.version = XVID_VERSION;
    xvid_dec_create_t create{};
    create.version = XVID_VERSION;
    create.width = width;
    create.height = height;
    if (global == nullptr || decore == nullptr || global(nullptr, XVID_GBL_INIT, &init, nullptr) < 0 ||
        decore(nullptr, XVID_DEC_CREATE, &create, nullptr) < 0) {
        dlclose(library);
        return pictures;
    }
    const int stride = (width + 3) & ~3;
    const int chromaStride = stride / 2;
    std::vector<std::uint8_t> laidOut(static_cast<std::size_t>(stride) * (height + 2) * 3 / 2);
    for (const Frame& frame : frames) {
        const std::uint8_t* rest = frame.data.data();
        int remaining = static_cast<int>(frame.data.size());
        for (int pass = 0; pass < 4 && remaining > 0; ++pass) {
            xvid_dec_frame_t call{};
            call.version = XVID_VERSION;
            call.general = XVID_LOWDELAY | XVID_DEBLOCKY;
            call.bitstream = const_cast<std::uint8_t*>(rest);
            call.length = remaining;
            call.output.csp = XVID_CSP_YV12;
            call.output.plane[0] = laidOut.data();
            call.output.stride[0] = stride;
            xvid_dec_stats_t stats{};
            stats.version = XVID_VERSION;
            const int used = decore(create.handle, XVID_DEC_DECODE, &call, &stats);
            if (used < 0)
                break;
            if (stats.type == XVID_TYPE_VOL) {
                rest += used;
                remaining -= used;
                continue;
            }
            if (stats.type > 0) {
                Picture picture(static_cast<std::size_t>(width) * height * 3 / 2);
                for (int row = 0; row < height; ++row)
                    std::memcpy(&picture[static_cast<std::size_t>(row) * width],
                                &laidOut[static_cast<std::size_t>(row) * stride], width);
                const std::uint8_t* v = laidOut.data() + static_cast<std::size_t>(stride) * height;
                const std::uint8_t* u = v + static_cast<std::size_t>(chromaStride) * ((height + 1) / 2);
                std::uint8_t* outV = picture.data() + static_cast<std::size_t>(width) * height;
                std::uint8_t* outU = outV + static_cast<std::size_t>(width / 2) * (height / 2);
                for (int row = 0; row < height / 2; ++row) {
                    std::memcpy(outV + static_cast<std::size_t>(row) * (width / 2),
                                v + static_cast<std::size_t>(row) * chromaStride, width / 2);
                    std::memcpy(outU + static_cast<std::size_t>(row) * (width / 2),
                                u + static_cast<std::size_t>(row) * chromaStride, width / 2);
                }
                pictures.push_back(std::move(picture));
            }
            break;
        }
    }
    decore(create.handle, XVID_DEC_DESTROY, nullptr, nullptr);
    dlclose(library);
    return pictures;
}

int SetFormat(int index, int width, int height)
{
    const int format[3] = {width, height, 3};  // XviD
    return DEC_SetDecoderFMT(index, 0, reinterpret_cast<const DecoderFormat*>(format));
}

class XvidDeblock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DEC_LoadLibrary(), 1); }
    void TearDown() override { DEC_FreeLibrary(); }

    // An MPEG-4 AVI tagged XVID from a noisy moving picture, so that the filter has edges to
    // smooth in every block; `extra` adds encoder options.
    std::string Make(const std::string& name, int width, int height, const std::string& extra)
    {
        const std::string path = drives_.folder() + "/" + name;
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'testsrc2=size=" +
                                    std::to_string(width) + "x" + std::to_string(height) +
                                    ":rate=15,noise=alls=20:allf=t' -t 3 -c:v mpeg4 -vtag XVID -g 12 " + extra +
                                    " '" + path + "' && echo ok";
        return pellix::test::RunCommand(command).find("ok") != std::string::npos ? path : std::string{};
    }

    // Decodes every frame through DEC_DecodeData into a buffer of exactly the picture's size
    // (with guard bytes behind it) and compares each picture with the library's own.
    void ExpectLibraryPictures(const std::string& path, int width, int height)
    {
        ASSERT_FALSE(path.empty());
        const std::vector<Frame> frames = ReadFrames(path);
        const std::vector<Picture> expected = LibraryPictures(frames, width, height);
        ASSERT_GT(expected.size(), 30u) << path;
        const int index = DEC_CreateVideoDecoder(0);
        ASSERT_GE(index, 0);
        ASSERT_EQ(SetFormat(index, width, height), 1);
        const std::size_t size = static_cast<std::size_t>(width) * height * 3 / 2;
        constexpr std::size_t kGuard = 64;
        std::vector<std::uint8_t> buffer(size + kGuard, 0xEE);
        std::size_t next = 0;
        for (const Frame& frame : frames) {
            int length = 0;
            if (DEC_DecodeData(index, frame.data.data(), buffer.data(), static_cast<int>(frame.data.size()), &length,
                               frame.key ? 1 : 0, 0) != 1)
                continue;  // the first frame of a stream with pictures predicted from both sides
            ASSERT_LT(next, expected.size()) << path;
            ASSERT_TRUE(std::equal(expected[next].begin(), expected[next].end(), buffer.begin()))
                << path << " picture " << next;
            for (std::size_t i = size; i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], 0xEE) << path << " picture " << next << " wrote past its end";
            ++next;
        }
        EXPECT_EQ(next, expected.size()) << path;
        EXPECT_EQ(DEC_DestroyVideoDecoder(index), 1);
    }

    suite::test::TempDriveTable drives_{"CD"};
};

TEST_F(XvidDeblock, PicturesMatchTheLibrarysDeblockingAtEveryStrength)
{
    // Fine and coarse quantisers, and a quantiser that changes from macroblock to macroblock.
    ExpectLibraryPictures(Make("fine.avi", 352, 288, "-q:v 2"), 352, 288);
    ExpectLibraryPictures(Make("coarse.avi", 352, 288, "-q:v 24"), 352, 288);
    ExpectLibraryPictures(Make("adaptive.avi", 352, 288, "-b:v 120k -lumi_mask 0.3 -dark_mask 0.3 -p_mask 0.3"), 352,
                          288);
}

TEST_F(XvidDeblock, PicturesMatchForOtherShapesOfStream)
{
    // Sizes that end inside a macroblock (the filter reads below the picture), a width whose
    // rows the library lays out wider than the picture's, pictures predicted from both sides,
    // and an interlaced stream.
    ExpectLibraryPictures(Make("partial.avi", 344, 280, "-q:v 6"), 344, 280);
    ExpectLibraryPictures(Make("narrow.avi", 350, 286, "-q:v 6"), 350, 286);
    ExpectLibraryPictures(Make("bidirectional.avi", 352, 288, "-bf 2 -q:v 4"), 352, 288);
    ExpectLibraryPictures(Make("interlaced.avi", 352, 288, "-flags +ildct+ilme -q:v 4"), 352, 288);
}

}  // namespace
