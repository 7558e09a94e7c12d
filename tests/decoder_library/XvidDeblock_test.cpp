// The decoding library filters the XviD luma itself instead of asking the XviD library to, and
// decodes the streams libavcodec decodes alike with libavcodec: every picture DEC_DecodeData
// gives must be the XviD library's own deblocked YV12 picture, byte for byte, laid out at the
// picture's own width, whatever the stream holds and whichever decoder it takes.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <xvid.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder_library/Halvane.h"
#include "common/XvidStreamHeader.h"
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

// Which decoder the library takes for a stream: the one its first frame's sequence header
// chooses.
enum class Decoder { Libavcodec, XvidLibrary };

Decoder DecoderFor(const std::vector<Frame>& frames)
{
    XvidSequenceHeader header;
    const bool read = !frames.empty() && ReadXvidSequenceHeader(frames[0].data.data(), frames[0].data.size(), header);
    return read && AvDecodesLikeXvid(header) ? Decoder::Libavcodec : Decoder::XvidLibrary;
}

// A picture that is not coded, as an encoder that drops a picture sends it: its header with the
// coded flag off, stuffed to a whole byte.
Frame UncodedPicture(int timeIncrementBits)
{
    std::vector<bool> bits = {false, true, false, true};  // predicted, no whole seconds, marker
    for (int i = 0; i < timeIncrementBits; ++i)
        bits.push_back(false);
    bits.push_back(true);   // marker
    bits.push_back(false);  // not coded
    bits.push_back(false);  // stuffing: a zero, then ones to the byte's end
    while (bits.size() % 8 != 0)
        bits.push_back(true);
    Frame frame{{0x00, 0x00, 0x01, 0xB6}, false};
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        std::uint8_t byte = 0;
        for (std::size_t k = 0; k < 8; ++k)
            byte = static_cast<std::uint8_t>(byte << 1 | (bits[i + k] ? 1 : 0));
        frame.data.push_back(byte);
    }
    return frame;
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
    // `noise` is the noise filter's options: temporal noise by default; a fixed pattern leaves
    // the still parts of the picture to skipped macroblocks.
    std::string Make(const std::string& name, int width, int height, const std::string& extra,
                     const std::string& noise = "alls=20:allf=t")
    {
        const std::string path = drives_.folder() + "/" + name;
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'testsrc2=size=" +
                                    std::to_string(width) + "x" + std::to_string(height) + ":rate=15,noise=" + noise +
                                    "' -t 3 -c:v mpeg4 -vtag XVID -g 12 " + extra + " '" + path + "' && echo ok";
        return pellix::test::RunCommand(command).find("ok") != std::string::npos ? path : std::string{};
    }

    // Decodes every frame through DEC_DecodeData into a buffer of exactly the picture's size
    // (with guard bytes behind it) and compares each picture with the library's own.
    void ExpectLibraryPictures(const std::string& path, int width, int height, Decoder decoder)
    {
        ASSERT_FALSE(path.empty());
        ExpectLibraryPictures(path, ReadFrames(path), width, height, decoder);
    }

    void ExpectLibraryPictures(const std::string& path, const std::vector<Frame>& frames, int width, int height,
                               Decoder decoder)
    {
        ASSERT_EQ(DecoderFor(frames), decoder) << path;
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
    // Fine and coarse quantisers, and a quantiser that changes from macroblock to macroblock,
    // also in skipped macroblocks, which take the picture's quantiser.
    const Decoder av = Decoder::Libavcodec;
    ExpectLibraryPictures(Make("fine.avi", 352, 288, "-q:v 2"), 352, 288, av);
    ExpectLibraryPictures(Make("coarse.avi", 352, 288, "-q:v 24"), 352, 288, av);
    const std::string adaptive = "-b:v 120k -lumi_mask 0.3 -dark_mask 0.3 -p_mask 0.3";
    ExpectLibraryPictures(Make("adaptive.avi", 352, 288, adaptive), 352, 288, av);
    ExpectLibraryPictures(Make("skipped.avi", 352, 288, adaptive + " -mbd rd", "alls=20"), 352, 288, av);
}

TEST_F(XvidDeblock, PicturesMatchForOtherShapesOfStream)
{
    // Sizes that end inside a macroblock (the filter reads below the picture), a width whose
    // rows the library lays out wider than the picture's, pictures predicted from both sides,
    // and an interlaced stream.
    const Decoder av = Decoder::Libavcodec;
    const Decoder xvid = Decoder::XvidLibrary;
    ExpectLibraryPictures(Make("partial.avi", 344, 280, "-q:v 6"), 344, 280, av);
    ExpectLibraryPictures(Make("narrow.avi", 350, 286, "-q:v 6"), 350, 286, av);
    ExpectLibraryPictures(Make("fourvectors.avi", 352, 288, "-flags +mv4 -q:v 4"), 352, 288, av);
    ExpectLibraryPictures(Make("bidirectional.avi", 352, 288, "-bf 2 -q:v 4"), 352, 288, xvid);
    ExpectLibraryPictures(Make("interlaced.avi", 352, 288, "-flags +ildct+ilme -q:v 4"), 352, 288, xvid);
    // Interlaced with four vectors, the MPEG quantiser and quarter-sample motion are left to
    // the XviD library.
    ExpectLibraryPictures(Make("fieldvectors.avi", 352, 288, "-flags +ildct+ilme+mv4 -q:v 5"), 352, 288, xvid);
    ExpectLibraryPictures(Make("mpegquant.avi", 352, 288, "-mpeg_quant 1 -q:v 4"), 352, 288, xvid);
    ExpectLibraryPictures(Make("quarterpel.avi", 352, 288, "-flags +qpel -q:v 4"), 352, 288, xvid);
}

TEST_F(XvidDeblock, DamagedFramesNeverWritePastThePictureAndTheNextKeyFrameDecodes)
{
    // Bytes flipped, frames cut short, noise in place of a frame, and sequence headers that
    // claim a huge picture, in streams of both decoders.
    for (const auto& [name, extra] : {std::pair{"progressive.avi", "-q:v 4"},
                                      std::pair{"interlacedcut.avi", "-flags +ildct+ilme -q:v 4"}}) {
        const std::string path = Make(name, 352, 288, extra);
        ASSERT_FALSE(path.empty());
        std::vector<Frame> frames = ReadFrames(path);
        ASSERT_GT(frames.size(), 36u);
        std::uint32_t seed = 12345;
        auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        for (std::size_t i = 1; i < frames.size(); ++i) {
            std::vector<std::uint8_t>& data = frames[i].data;
            switch (i % 12) {
            case 1:  // the sequence header of a key frame: width and height bits set
                for (std::size_t k = 4; k + 8 < data.size() && k < 24; ++k)
                    data[k] |= 0x7E;
                break;
            case 3:
                for (int k = 0; k < 40; ++k)
                    data[random() % data.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
                break;
            case 5:
                data.resize(data.size() / 3);
                break;
            case 7:
                for (auto& byte : data)
                    byte = static_cast<std::uint8_t>(random() >> 24);
                break;
            default:
                break;
            }
        }
        const int index = DEC_CreateVideoDecoder(0);
        ASSERT_GE(index, 0);
        ASSERT_EQ(SetFormat(index, 352, 288), 1);
        const std::size_t size = 352 * 288 * 3 / 2;
        std::vector<std::uint8_t> buffer(size + 64, 0xEE);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            int length = 0;
            const int decoded = DEC_DecodeData(index, frames[i].data.data(), buffer.data(),
                                               static_cast<int>(frames[i].data.size()), &length, 0, 0);
            // A key frame the damage did not reach (the first of the stream and of every
            // second group) decodes.
            if (i % 24 == 0) {
                EXPECT_EQ(decoded, 1) << name << " frame " << i;
            }
            for (std::size_t k = size; k < buffer.size(); ++k)
                ASSERT_EQ(buffer[k], 0xEE) << name << " frame " << i << " wrote past the picture";
        }
        EXPECT_EQ(DEC_DestroyVideoDecoder(index), 1);
    }
}

TEST_F(XvidDeblock, AnUncodedPictureRepeatsTheLastOne)
{
    // An encoder that drops pictures sends them uncoded; the XviD library gives the last
    // picture again, and so must libavcodec's decoding.
    const std::string path = Make("dropped.avi", 352, 288, "-q:v 4");
    ASSERT_FALSE(path.empty());
    const std::vector<Frame> stream = ReadFrames(path);
    ASSERT_FALSE(stream.empty());
    XvidSequenceHeader header;
    ASSERT_TRUE(ReadXvidSequenceHeader(stream[0].data.data(), stream[0].data.size(), header));
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        frames.push_back(stream[i]);
        if (i % 5 == 2)
            frames.push_back(UncodedPicture(header.timeIncrementBits));
        if (i % 10 == 4) {
            frames.push_back(UncodedPicture(header.timeIncrementBits));
            frames.push_back(UncodedPicture(header.timeIncrementBits));
        }
    }
    ExpectLibraryPictures(path, frames, 352, 288, Decoder::Libavcodec);
}

}  // namespace
