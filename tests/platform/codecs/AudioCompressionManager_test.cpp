// The audio compression manager's answers to callers that get the calls wrong: a missing
// handle is reported before a bad structure, a header must be prepared before it converts or
// is unprepared, and a rejected call leaves the header as it was.

#include "platform/codecs/Msacm.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

using namespace platform;

namespace {

WAVEFORMATEX Pcm(std::uint16_t bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 8000;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<std::uint16_t>(bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

TEST(AudioCompressionManager, WrongCallsAreRefusedInOrderAndLeaveTheHeaderAlone)
{
    const WAVEFORMATEX source = Pcm(8);
    const WAVEFORMATEX destination = Pcm(16);
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &source, &destination, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_NE(stream, nullptr);

    std::vector<std::uint8_t> in(16, 0x80);
    std::vector<std::uint8_t> out(32, 0xEE);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = in.data();
    header.cbSrcLength = static_cast<ACMDWORD>(in.size());
    header.pbDst = out.data();
    header.cbDstLength = static_cast<ACMDWORD>(out.size());

    // The handle is checked first, whatever else is wrong.
    ACMDWORD size = 0;
    EXPECT_EQ(acmStreamSize(nullptr, 16, nullptr, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamSize(stream, 16, nullptr, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamPrepareHeader(nullptr, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamUnprepareHeader(nullptr, &header, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamConvert(nullptr, nullptr, 0), MMSYSERR_INVALHANDLE);
    HACMDRIVERID driver = nullptr;
    EXPECT_EQ(acmDriverID(nullptr, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverID(stream, nullptr, 0), MMSYSERR_INVALPARAM);

    // Structures too small or without buffers are refused.
    ACMSTREAMHEADER small = header;
    small.cbStruct = sizeof small - 1;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &small, 0), MMSYSERR_INVALPARAM);
    ACMSTREAMHEADER noOutput = header;
    noOutput.pbDst = nullptr;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &noOutput, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(small.fdwStatus | noOutput.fdwStatus, 0u);

    // An unprepared header neither converts nor unprepares, and nothing is written.
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamConvert(stream, nullptr, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(header.cbDstLengthUsed, 0u);
    EXPECT_EQ(out[0], 0xEE);

    // Done right, the same calls succeed.
    EXPECT_EQ(acmStreamSize(stream, 16, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 32u);
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(header.cbSrcLengthUsed, 16u);
    EXPECT_EQ(header.cbDstLengthUsed, 32u);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), ACMERR_UNPREPARED);

    ASSERT_EQ(acmDriverID(stream, &driver, 0), MMSYSERR_NOERROR);
    ACMDRIVERDETAILSA details{};
    details.cbStruct = sizeof details - 1;
    EXPECT_EQ(acmDriverDetailsA(nullptr, &details, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverDetailsA(driver, &details, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmDriverDetailsA(driver, nullptr, 0), MMSYSERR_INVALPARAM);
    details.cbStruct = sizeof details;
    EXPECT_EQ(acmDriverDetailsA(driver, &details, 0), MMSYSERR_NOERROR);
    EXPECT_STREQ(details.szShortName, "PCM");

    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
}

}  // namespace
