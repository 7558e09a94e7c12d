// The decoding library driven only through its C interface.

#include "decoder_library/Halvane.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MessageBox.h"
#include "platform/TitledWindow.h"
#include "platform/codecs/Vfw.h"
#include "tests/platform/codecs/TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr int kGuardBytes = 64;
constexpr std::uint8_t kGuard = 0xEE;

struct Format {
    int width;
    int height;
    int compressor;
    int trailing;  // a caller's record may go on behind the three fields
};

int SetFormat(int index, int width, int height, int compressor)
{
    const Format format{width, height, compressor, 0x7777};
    return DEC_SetDecoderFMT(index, 0, reinterpret_cast<const DecoderFormat*>(&format));
}

// A caller's picture buffer of exactly width x height x 3 / 2 bytes, followed by guard bytes
// that no decode may touch.
class PictureBuffer {
public:
    PictureBuffer(int width, int height)
        : size_(static_cast<std::size_t>(width) * height * 3 / 2), bytes_(size_ + kGuardBytes, kGuard)
    {
    }
    unsigned char* data() { return bytes_.data(); }
    std::size_t size() const { return size_; }
    bool GuardIntact() const
    {
        for (std::size_t i = size_; i < bytes_.size(); ++i)
            if (bytes_[i] != kGuard)
                return false;
        return true;
    }
    void Fill(std::uint8_t value) { std::memset(bytes_.data(), value, size_); }

private:
    std::size_t size_;
    std::vector<std::uint8_t> bytes_;
};

int Decode(int index, const test_media::EncodedFrame& frame, PictureBuffer& picture, int* length = nullptr)
{
    int pictureLength = -1;
    const int result = DEC_DecodeData(index, frame.data.data(), picture.data(), static_cast<int>(frame.data.size()),
                                      &pictureLength, frame.key ? 1 : 0, 0);
    if (length != nullptr)
        *length = pictureLength;
    return result;
}

const test_media::EncodedStream& Msmpeg4v2Cif()
{
    static const test_media::EncodedStream stream = test_media::Encode("msmpeg4v2", 352, 288, 30, 10);
    return stream;
}

const std::vector<std::vector<std::uint8_t>>& Msmpeg4v2CifReference()
{
    static const auto reference = test_media::ReferenceDecode("msmpeg4v2", Msmpeg4v2Cif());
    return reference;
}

const test_media::EncodedStream& XvidCif()
{
    static const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 30, 10, platform::MakeFourCC('X', 'V', 'I', 'D'));
    return stream;
}

// Interlaced: a stream the XviD library itself decodes (libavcodec takes progressive ones).
const test_media::EncodedStream& XvidInterlacedCif()
{
    static const test_media::EncodedStream stream =
        test_media::Encode("mpeg4", 352, 288, 10, 10, platform::MakeFourCC('X', 'V', 'I', 'D'), 3,
                           AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME);
    return stream;
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnvironment() { unsetenv(name_); }

private:
    const char* name_;
};

// The library's trace goes to whatever viewer window the runtime folder names: the suite
// keeps a folder of its own so that only its own viewer can receive the lines.
class PrivateRuntimeFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_NE(mkdtemp(folder_), nullptr);
        setenv("XDG_RUNTIME_DIR", folder_, 1);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

private:
    char folder_[32] = "/tmp/halvane-runtime-XXXXXX";
};

[[maybe_unused]] ::testing::Environment* const g_runtimeFolder =
    ::testing::AddGlobalTestEnvironment(new PrivateRuntimeFolder);

class HalvaneApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DEC_LoadLibrary(), 1);
        platform::ResetMessageBoxes();
    }
    void TearDown() override
    {
        DEC_LoadLibrary();
        for (int index = 0; index < 48; ++index)
            DEC_DestroyVideoDecoder(index);
        DEC_FreeLibrary();
    }
};

}  // namespace

TEST_F(HalvaneApi, TableLifetimeOverAllEntries)
{
    ASSERT_EQ(DEC_FreeLibrary(), 1);
    EXPECT_EQ(DEC_FreeLibrary(), 1);
    EXPECT_EQ(DEC_SetLastError(77), 77);
    EXPECT_EQ(DEC_CreateVideoDecoder(0), -3);
    EXPECT_EQ(DEC_GetLastError(), 77);  // not loaded sets no error
    EXPECT_EQ(SetFormat(0, 352, 288, 2), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_NOT_LOADED);

    ASSERT_EQ(DEC_LoadLibrary(), 1);
    EXPECT_EQ(DEC_LoadLibrary(), 1);
    for (int channel = 0; channel < 48; ++channel)
        ASSERT_EQ(DEC_CreateVideoDecoder(channel), channel);
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_CreateVideoDecoder(48), -1);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_BAD_INDEX);

    // Freed entries are taken again lowest first.
    EXPECT_EQ(DEC_DestroyVideoDecoder(17), 1);
    EXPECT_EQ(DEC_DestroyVideoDecoder(5), 1);
    EXPECT_EQ(DEC_CreateVideoDecoder(99), 5);
    EXPECT_EQ(DEC_CreateVideoDecoder(99), 17);
    for (int bad : {-1, 48, 1000}) {
        DEC_SetLastError(0);
        EXPECT_EQ(DEC_DestroyVideoDecoder(bad), 0);
        EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_BAD_INDEX);
    }

    // Entries left in use across a free and a new load stay in use, and still work.
    ASSERT_EQ(DEC_FreeLibrary(), 1);
    ASSERT_EQ(DEC_LoadLibrary(), 1);
    EXPECT_EQ(DEC_CreateVideoDecoder(0), -1);
    EXPECT_EQ(SetFormat(3, 352, 288, 2), 1);
    PictureBuffer picture(352, 288);
    EXPECT_EQ(Decode(3, Msmpeg4v2Cif().frames[0], picture), 1);
    for (int index = 0; index < 48; ++index)
        ASSERT_EQ(DEC_DestroyVideoDecoder(index), 1);
    EXPECT_EQ(DEC_CreateVideoDecoder(7), 0);
}

TEST_F(HalvaneApi, EveryFunctionReportsItsErrorCode)
{
    const int index = DEC_CreateVideoDecoder(0);
    ASSERT_EQ(index, 0);
    PictureBuffer picture(352, 288);
    const auto& frame = Msmpeg4v2Cif().frames[0];

    auto check = [](const char* call, auto&& run, int expectedResult, int expectedError) {
        DEC_SetLastError(0);
        EXPECT_EQ(run(), expectedResult) << call;
        EXPECT_EQ(DEC_GetLastError(), expectedError) << call;
    };
    check("format, bad index", [] { return SetFormat(48, 352, 288, 2); }, 0, DEC_ERROR_BAD_INDEX);
    check("format, entry not created", [] { return SetFormat(9, 352, 288, 2); }, 0, DEC_ERROR_NOT_IN_USE);
    check("format, no record", [&] { return DEC_SetDecoderFMT(index, 0, nullptr); }, 0, DEC_ERROR_CODEC_OPEN);
    check("decode, bad index", [&] { return Decode(-1, frame, picture); }, 0, DEC_ERROR_BAD_INDEX);
    check("decode before any format", [&] { return Decode(index, frame, picture); }, 0, DEC_ERROR_BAD_INDEX);
    check("format, compressor 8", [&] { return SetFormat(index, 352, 288, 8); }, 1, 0);
    check("decode after compressor 8", [&] { return Decode(index, frame, picture); }, 0, DEC_ERROR_BAD_INDEX);
    check("format, compressor 0 names no codec", [&] { return SetFormat(index, 352, 288, 0); }, 0,
          DEC_ERROR_CODEC_OPEN);
    check("format, picture size no codec holds", [&] { return SetFormat(index, -352, 288, 2); }, 0,
          DEC_ERROR_CODEC_OPEN);
    check("format, MP42", [&] { return SetFormat(index, 352, 288, 2); }, 1, 0);

    picture.Fill(0x5A);
    const std::vector<std::uint8_t> noise(400, 0);
    check("decode, data that is no frame",
          [&] {
              int length = 0;
              return DEC_DecodeData(index, noise.data(), picture.data(), static_cast<int>(noise.size()), &length, 1,
                                    0);
          },
          0, DEC_ERROR_VIDEO_DECODE);
    EXPECT_EQ(picture.data()[0], 0x5A);
    check("decode, no frame at all", [&] { return DEC_DecodeData(index, nullptr, picture.data(), 10, nullptr, 1, 0); },
          0, DEC_ERROR_VIDEO_DECODE);
    check("decode, no picture buffer",
          [&] {
              return DEC_DecodeData(index, frame.data.data(), nullptr, static_cast<int>(frame.data.size()), nullptr,
                                    1, 0);
          },
          0, DEC_ERROR_VIDEO_DECODE);

    short pcm[505];
    const unsigned char adpcm[256] = {0xFF, 0xFF, 0x7F};
    check("audio, bad index", [&] { return DEC_DecodeAudio(48, adpcm, pcm, 256, nullptr, 0, 0); }, 0,
          DEC_ERROR_BAD_INDEX);
    check("audio, step index outside the table",
          [&] { return DEC_DecodeAudio(index, adpcm, pcm, 256, nullptr, 0, 0); }, 0, DEC_ERROR_AUDIO_DECODE);
    check("audio, capture only", [&] { return DEC_DecodeAudio(index, adpcm, pcm, 256, nullptr, 0, 1); }, 1, 0);

    check("snap, bad index", [] { return DEC_Snap(-5, "C:\\a.BMP"); }, 0, DEC_ERROR_BAD_INDEX);
    check("snap", [&] { return DEC_Snap(index, "C:\\a.bmp"); }, 1, 0);
    check("capture, bad index", [] { return DEC_StartCapture(48, "C:\\", 0x102, nullptr, 0); }, 0,
          DEC_ERROR_BAD_INDEX);
    check("capture, no stream", [&] { return DEC_StartCapture(index, "C:\\", 0x100, nullptr, 0); }, 0,
          DEC_ERROR_CAPTURE_FLAGS);
    check("capture, no kind", [&] { return DEC_StartCapture(index, "C:\\", 0x002, nullptr, 0); }, 0,
          DEC_ERROR_CAPTURE_FLAGS);
    check("capture, no file can be made",
          [&] { return DEC_StartCapture(index, "/dev/null\\", 0x102, nullptr, 0); }, 0, DEC_ERROR_CAPTURE_FILE);
    check("stop, bad index", [] { return DEC_StopCapture(99); }, 0, DEC_ERROR_BAD_INDEX);
    check("stop, never captured", [&] { return DEC_StopCapture(index); }, 1, 0);

    // A later success leaves the failing call's code in place.
    EXPECT_EQ(SetFormat(20, 352, 288, 2), 0);
    EXPECT_EQ(DEC_CreateVideoDecoder(1), 1);
    EXPECT_EQ(Decode(index, frame, picture), 1);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_NOT_IN_USE);
    EXPECT_EQ(DEC_SetLastError(555), 555);
    EXPECT_EQ(DEC_GetLastError(), 555);
}

TEST_F(HalvaneApi, SystemCodecPicturesMatchLibavcodec)
{
    for (const auto& [width, height] : {std::pair{352, 288}, std::pair{704, 576}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const test_media::EncodedStream stream = test_media::Encode("msmpeg4v2", width, height, 20, 8);
        const auto reference = test_media::ReferenceDecode("msmpeg4v2", stream);
        const int index = DEC_CreateVideoDecoder(0);
        ASSERT_GE(index, 0);
        ASSERT_EQ(SetFormat(index, width, height, 2), 1);
        PictureBuffer picture(width, height);
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            int length = 0;
            ASSERT_EQ(Decode(index, stream.frames[i], picture, &length), 1) << "frame " << i;
            EXPECT_EQ(length, width * height * 3 / 2);
            ASSERT_EQ(0, std::memcmp(picture.data(), reference[i].data(), picture.size())) << "frame " << i;
            ASSERT_TRUE(picture.GuardIntact());
        }
        ASSERT_EQ(DEC_DestroyVideoDecoder(index), 1);
    }
}

TEST_F(HalvaneApi, XvidPicturesMatchLibavcodecAndStayInsideTheCallersBuffer)
{
    // 350 is not a multiple of 4: the library's rows are wider than the caller's picture.
    for (const auto& [width, height] : {std::pair{352, 288}, std::pair{704, 576}, std::pair{350, 288}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const test_media::EncodedStream stream =
            test_media::Encode("mpeg4", width, height, 20, 8, platform::MakeFourCC('X', 'V', 'I', 'D'));
        const auto reference = test_media::ReferenceDecode("mpeg4", stream);
        const int index = DEC_CreateVideoDecoder(0);
        ASSERT_GE(index, 0);
        ASSERT_EQ(SetFormat(index, width, height, 3), 1);
        PictureBuffer picture(width, height);
        double worst = 99.0;
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            int length = 0;
            ASSERT_EQ(Decode(index, stream.frames[i], picture, &length), 1) << "frame " << i;
            EXPECT_EQ(length, width * height * 3 / 2);
            ASSERT_TRUE(picture.GuardIntact()) << "frame " << i;
            worst = std::min(worst, test_media::Psnr(reference[i], picture.data(), picture.size()));
        }
        // The XviD library deblocks luma, so its pictures differ slightly from libavcodec's.
        EXPECT_GT(worst, 45.0);
        ASSERT_EQ(DEC_DestroyVideoDecoder(index), 1);
    }
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(HalvaneApi, AStreamLargerThanItsFormatNeverOverrunsThePicture)
{
    // The recorder changed its picture size before reporting the new format.
    const test_media::EncodedStream xvidD1 =
        test_media::Encode("mpeg4", 704, 576, 3, 8, platform::MakeFourCC('X', 'V', 'I', 'D'));
    const test_media::EncodedStream mp42D1 = test_media::Encode("msmpeg4v2", 704, 576, 3, 8);
    const int index = DEC_CreateVideoDecoder(0);

    ASSERT_EQ(SetFormat(index, 352, 288, 3), 1);
    PictureBuffer picture(352, 288);
    picture.Fill(0x5A);
    for (const auto& frame : xvidD1.frames) {
        DEC_SetLastError(0);
        EXPECT_EQ(Decode(index, frame, picture), 0);
        EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_VIDEO_DECODE);
        ASSERT_TRUE(picture.GuardIntact());
    }
    EXPECT_EQ(picture.data()[picture.size() - 1], 0x5A);
    // Once the format follows the stream, its pictures decode again.
    ASSERT_EQ(SetFormat(index, 704, 576, 3), 1);
    PictureBuffer large(704, 576);
    EXPECT_EQ(Decode(index, xvidD1.frames[0], large), 1);

    // The system codec scales what it gets to the format's size.
    ASSERT_EQ(SetFormat(index, 352, 288, 2), 1);
    for (const auto& frame : mp42D1.frames) {
        EXPECT_EQ(Decode(index, frame, picture), 1);
        ASSERT_TRUE(picture.GuardIntact());
    }
}

TEST_F(HalvaneApi, SameFormatKeepsTheCodecAndAFailedChangeKeepsTheOldOne)
{
    const auto& stream = Msmpeg4v2Cif();
    const auto& reference = Msmpeg4v2CifReference();
    const int index = DEC_CreateVideoDecoder(0);
    ASSERT_EQ(SetFormat(index, 352, 288, 2), 1);
    PictureBuffer picture(352, 288);
    // Delta frames decode right only while the codec keeps the pictures before them.
    auto decodesLikeReference = [&](std::size_t i) {
        return Decode(index, stream.frames[i], picture) == 1 &&
               std::memcmp(picture.data(), reference[i].data(), picture.size()) == 0;
    };
    for (std::size_t i = 0; i < 4; ++i)
        ASSERT_TRUE(decodesLikeReference(i));
    ASSERT_FALSE(stream.frames[4].key);
    EXPECT_EQ(SetFormat(index, 352, 288, 2), 1);
    EXPECT_TRUE(decodesLikeReference(4));
    EXPECT_EQ(SetFormat(index, 352, 288, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CODEC_OPEN);
    EXPECT_TRUE(decodesLikeReference(5));
    EXPECT_EQ(SetFormat(index, 352, 288, 8), 1);  // no codec for 8: nothing changes
    EXPECT_TRUE(decodesLikeReference(6));

    // A new size makes a new codec, which has none of the earlier pictures.
    EXPECT_EQ(SetFormat(index, 176, 144, 2), 1);
    EXPECT_EQ(SetFormat(index, 352, 288, 2), 1);
    EXPECT_FALSE(decodesLikeReference(7));
    ASSERT_TRUE(stream.frames[10].key);
    EXPECT_TRUE(decodesLikeReference(10));
}

TEST_F(HalvaneApi, MissingXvidLibraryIsReportedTwiceAndRefused)
{
    const int index = DEC_CreateVideoDecoder(0);
    {
        ScopedEnvironment missing("HALVANE_XVIDCORE", "libno-such-xvidcore.so.4");
        EXPECT_EQ(SetFormat(index, 352, 288, 3), 0);
        EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_CODEC_OPEN);
    }
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.text, "xvidcore.dll not found");
        EXPECT_EQ(box.caption, "Error");
        EXPECT_NE(box.type & platform::MB_TOPMOST, 0u);
    }
    platform::ResetMessageBoxes();
    {
        // A library that is not XviD at all.
        ScopedEnvironment other("HALVANE_XVIDCORE", "libz.so.1");
        EXPECT_EQ(SetFormat(index, 352, 288, 3), 0);
    }
    boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "xvid_global() not found");
    EXPECT_EQ(boxes[1].text, "xvid_global() not found");
    // The entry has no codec: nothing was handed to a library that is not there.
    PictureBuffer picture(352, 288);
    EXPECT_EQ(Decode(index, XvidCif().frames[0], picture), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_BAD_INDEX);
}

TEST_F(HalvaneApi, AFaultInsideTheXvidLibraryFailsTheFrameAndTheProcessGoesOn)
{
    const int index = DEC_CreateVideoDecoder(0);
    ScopedEnvironment faulting("HALVANE_XVIDCORE", FAULTING_XVIDCORE_PATH);
    ASSERT_EQ(SetFormat(index, 352, 288, 3), 1);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    PictureBuffer picture(352, 288);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DEC_SetLastError(0);
        EXPECT_EQ(Decode(index, XvidInterlacedCif().frames[0], picture), 0);
        EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_VIDEO_DECODE);
    }
    // Switching away destroys the instance through the same library without trouble.
    EXPECT_EQ(SetFormat(index, 352, 288, 2), 1);
    EXPECT_EQ(Decode(index, Msmpeg4v2Cif().frames[0], picture), 1);
}

TEST_F(HalvaneApi, DecodingSideAlsoFindsTheXvidLibraryInTheProgramFolder)
{
    // The stand-in lies beside the test programs, on no library path: only the decoding side
    // looks in the program folder, so the encoding side alone reports it missing.
    const int index = DEC_CreateVideoDecoder(0);
    ScopedEnvironment besideProgram("HALVANE_XVIDCORE", FAULTING_XVIDCORE_NAME);
    EXPECT_EQ(SetFormat(index, 352, 288, 3), 1);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "xvidcore.dll not found");
    PictureBuffer picture(352, 288);
    EXPECT_EQ(Decode(index, XvidInterlacedCif().frames[0], picture), 0);  // the stand-in faults
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_VIDEO_DECODE);
}

TEST_F(HalvaneApi, WmvCodecBeginsAndRefusedFramesLeaveThePictureAlone)
{
    const int index = DEC_CreateVideoDecoder(0);
    ASSERT_EQ(SetFormat(index, 352, 288, 4), 1);
    PictureBuffer picture(352, 288);
    picture.Fill(0x5A);
    const std::vector<std::uint8_t> noise(300, 0x00);
    int length = 0;
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_DecodeData(index, noise.data(), picture.data(), static_cast<int>(noise.size()), &length, 1, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_VIDEO_DECODE);
    EXPECT_EQ(length, 352 * 288 * 3 / 2);
    EXPECT_EQ(picture.data()[0], 0x5A);
    EXPECT_EQ(picture.data()[picture.size() - 1], 0x5A);
    EXPECT_TRUE(picture.GuardIntact());
}

TEST_F(HalvaneApi, FormatChangesOnOneEntryWhileAnotherDecodes)
{
    const auto& stream = Msmpeg4v2Cif();
    const auto& reference = Msmpeg4v2CifReference();
    const auto& xvid = XvidCif();
    const int steady = DEC_CreateVideoDecoder(0);
    const int switching = DEC_CreateVideoDecoder(1);
    ASSERT_EQ(SetFormat(steady, 352, 288, 2), 1);

    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::atomic<int> decoded{0};
    std::thread decoder([&] {
        PictureBuffer picture(352, 288);
        while (!stop.load()) {
            for (std::size_t i = 0; i < stream.frames.size(); ++i) {
                if (Decode(steady, stream.frames[i], picture) != 1 ||
                    std::memcmp(picture.data(), reference[i].data(), picture.size()) != 0)
                    ++mismatches;
                ++decoded;
            }
        }
    });
    PictureBuffer picture(352, 288);
    for (int round = 0; round < 12; ++round) {
        ASSERT_EQ(SetFormat(switching, 352, 288, 3), 1);
        EXPECT_EQ(Decode(switching, xvid.frames[0], picture), 1);
        ASSERT_EQ(SetFormat(switching, 352, 288, 4), 1);
        ASSERT_EQ(SetFormat(switching, 352, 288, 2), 1);
        EXPECT_EQ(Decode(switching, stream.frames[0], picture), 1);
        EXPECT_EQ(std::memcmp(picture.data(), reference[0].data(), picture.size()), 0);
    }
    // Destroying the entry while the other thread decodes is safe too.
    EXPECT_EQ(DEC_DestroyVideoDecoder(switching), 1);
    stop.store(true);
    decoder.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GE(decoded.load(), static_cast<int>(stream.frames.size()));
}

TEST_F(HalvaneApi, TraceLinesNameEachCallAndItsEntry)
{
    // A viewer window of our own collects the lines.
    std::mutex lock;
    std::vector<std::string> lines;
    platform::TitledWindowServer viewer;
    ASSERT_TRUE(viewer.Register(
        "ZarorArided ",
        [&](const std::string& text) {
            std::lock_guard<std::mutex> guard(lock);
            lines.push_back(text);
        },
        nullptr));

    const int index = DEC_CreateVideoDecoder(6);
    ASSERT_EQ(SetFormat(index, 352, 288, 2), 1);
    EXPECT_EQ(SetFormat(index, 352, 288, 0), 0);
    PictureBuffer picture(352, 288);
    const std::vector<std::uint8_t> noise(64, 0);
    DEC_DecodeData(index, noise.data(), picture.data(), 64, nullptr, 0, 0);
    DEC_DestroyVideoDecoder(index);
    DEC_DecodeData(index, noise.data(), picture.data(), 64, nullptr, 0, 0);
    DEC_FreeLibrary();
    viewer.Unregister();

    std::lock_guard<std::mutex> guard(lock);
    const std::vector<std::string> expected = {
        "[HALVANE] - Come into DEC_CreateVideoDecoder.Channel: 6",
        "[HALVANE] - Leave DEC_createVideoDecoder. nIndex: 0. Decoder nums: 1",
        "[HALVANE] - Come into DEC_setDecoderFMT, nIndex: 0",
        "[HALVANE] - Leave DEC_setDecoderFMT, nIndex:0",
        "[HALVANE] - Come into DEC_setDecoderFMT, nIndex: 0",
        "[HALVANE] - Leave DEC_setDecoderFMT, -- BeginDecode fail --nIndex:0",
        "[HALVANE] - \xBD\xE2\xC2\xEB\xCA\xA7\xB0\xDC. nIndex:0",
        "[HALVANE] - Come into DEC_destroyVideoDecoder. nIndex: 0",
        "[HALVANE] - Leave DEC_destroyVideoDecoder. Decoder nums: 0",
        "[HALVANE] - \xBD\xE2\xC2\xEB\xC6\xF7\xCE\xB4\xB4\xB4\xBD\xA8. nIndex:0",
        "[HALVANE] - DEC_FreeLibrary()",
    };
    std::vector<std::string> withoutCodecLine;
    for (const std::string& line : lines) {
        if (line.rfind("[HALVANE] -  SetDecoderFMT() pVideoCodec: ", 0) == 0)
            continue;
        withoutCodecLine.push_back(line);
    }
    EXPECT_EQ(withoutCodecLine, expected);
    EXPECT_EQ(lines.size(), expected.size() + 1);  // the one codec that was set
}
