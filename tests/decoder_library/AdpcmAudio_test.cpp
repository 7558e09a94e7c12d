// IMA ADPCM sound through DEC_DecodeAudio, held against libavcodec's adpcm_ima_wav decoder on
// blocks that libavcodec's own encoder made.

#include "decoder_library/Halvane.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int kBlockBytes = 256;
constexpr int kSamplesPerBlock = 505;
constexpr std::int16_t kGuard = 0x5A5A;

// 16-bit mono sound at 8000 samples per second: two tones, a sweep and a burst loud enough
// to reach full scale.
std::vector<std::int16_t> TestSound(int samples)
{
    std::vector<std::int16_t> sound(static_cast<std::size_t>(samples));
    std::uint32_t noise = 12345;
    for (int i = 0; i < samples; ++i) {
        const double t = i / 8000.0;
        double value = 9000 * std::sin(2 * M_PI * 440 * t) + 5000 * std::sin(2 * M_PI * (200 + 900 * t) * t);
        noise = noise * 1664525 + 1013904223;
        value += static_cast<int>(noise >> 20) - 2048;
        if ((i / 2000) % 3 == 2)
            value *= 4;
        sound[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
    }
    return sound;
}

// libavcodec's adpcm_ima_wav encoding of `sound` in 256-byte blocks.
std::vector<std::uint8_t> EncodeBlocks(const std::vector<std::int16_t>& sound)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    EXPECT_NE(codec, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->sample_fmt = codec->sample_fmts[0];
    av_opt_set_int(context->priv_data, "block_size", kBlockBytes, 0);
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    EXPECT_EQ(context->frame_size, kSamplesPerBlock);

    std::vector<std::uint8_t> blocks;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    for (std::size_t at = 0; at + kSamplesPerBlock <= sound.size(); at += kSamplesPerBlock) {
        frame->nb_samples = kSamplesPerBlock;
        frame->format = context->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        EXPECT_EQ(av_frame_get_buffer(frame, 0), 0);
        std::memcpy(frame->data[0], sound.data() + at, kSamplesPerBlock * sizeof(std::int16_t));
        EXPECT_EQ(avcodec_send_frame(context, frame), 0);
        while (avcodec_receive_packet(context, packet) == 0) {
            blocks.insert(blocks.end(), packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_frame_unref(frame);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return blocks;
}

// libavcodec's adpcm_ima_wav decoding of whole 256-byte blocks.
std::vector<std::int16_t> ReferenceDecode(const std::uint8_t* blocks, std::size_t bytes)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = kBlockBytes;
    context->bits_per_coded_sample = 4;
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    std::vector<std::int16_t> samples;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    for (std::size_t at = 0; at + kBlockBytes <= bytes; at += kBlockBytes) {
        av_new_packet(packet, kBlockBytes);
        std::memcpy(packet->data, blocks + at, kBlockBytes);
        EXPECT_EQ(avcodec_send_packet(context, packet), 0);
        while (avcodec_receive_frame(context, frame) == 0) {
            const auto* data = reinterpret_cast<const std::int16_t*>(frame->data[0]);
            samples.insert(samples.end(), data, data + frame->nb_samples);
            av_frame_unref(frame);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return samples;
}

// libavcodec's adpcm_ima_qt decoder expands codes with the published IMA difference sum
// (adpcm_ima_wav rounds it differently). A QuickTime block is a 16-bit big-endian header
// (predictor in bits 15-7, step index in bits 6-0) and 32 bytes of codes, low nibble first,
// so the first 64 codes of a recorder block whose first sample is a multiple of 128 make one.
std::vector<std::int16_t> QuickTimeDecode(const std::vector<std::uint8_t>& block)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_QT);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    const int header = (block[0] | block[1] << 8) | block[2];
    AVPacket* packet = av_packet_alloc();
    av_new_packet(packet, 34);
    packet->data[0] = static_cast<std::uint8_t>(header >> 8);
    packet->data[1] = static_cast<std::uint8_t>(header);
    std::memcpy(packet->data + 2, block.data() + 4, 32);
    std::vector<std::int16_t> samples;
    AVFrame* frame = av_frame_alloc();
    EXPECT_EQ(avcodec_send_packet(context, packet), 0);
    while (avcodec_receive_frame(context, frame) == 0) {
        const auto* data = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        samples.insert(samples.end(), data, data + frame->nb_samples);
        av_frame_unref(frame);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return samples;
}

// A block whose header is (first sample, step index) and whose codes are all `code`.
std::vector<std::uint8_t> Block(std::int16_t first, int stepIndex, int code, int bytes = kBlockBytes)
{
    std::vector<std::uint8_t> block(static_cast<std::size_t>(bytes), static_cast<std::uint8_t>(code | code << 4));
    block[0] = static_cast<std::uint8_t>(first & 0xFF);
    block[1] = static_cast<std::uint8_t>((first >> 8) & 0xFF);
    block[2] = static_cast<std::uint8_t>(stepIndex);
    block[3] = 0;
    return block;
}

class AdpcmAudio : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DEC_LoadLibrary(), 1);
        index_ = DEC_CreateVideoDecoder(3);
        ASSERT_GE(index_, 0);
    }
    void TearDown() override
    {
        DEC_DestroyVideoDecoder(index_);
        DEC_FreeLibrary();
    }

    // DEC_DecodeAudio into a buffer of guard values with room for `room` samples.
    int Decode(const std::vector<std::uint8_t>& data, std::vector<std::int16_t>& pcm, int room, int length = -1)
    {
        pcm.assign(static_cast<std::size_t>(room), kGuard);
        return DEC_DecodeAudio(index_, data.data(), pcm.data(), length < 0 ? static_cast<int>(data.size()) : length,
                               nullptr, 0, 0);
    }

    static int Written(const std::vector<std::int16_t>& pcm)
    {
        int count = static_cast<int>(pcm.size());
        while (count > 0 && pcm[static_cast<std::size_t>(count) - 1] == kGuard)
            --count;
        return count;
    }

    int index_ = -1;
};

}  // namespace

TEST_F(AdpcmAudio, CodesExpandAsLibavcodecsPublishedTableDecoderDoes)
{
    // Every step index with random codes, and full-scale codes from either end of the range.
    std::uint32_t seed = 99;
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int stepIndex = 0; stepIndex <= 88; ++stepIndex) {
        seed = seed * 1664525 + 1013904223;
        std::vector<std::uint8_t> block = Block(static_cast<std::int16_t>(static_cast<int>(seed >> 20) * 128 - 32768 / 2),
                                                stepIndex, 0);
        for (std::size_t i = 4; i < block.size(); ++i) {
            seed = seed * 1664525 + 1013904223;
            block[i] = static_cast<std::uint8_t>(seed >> 24);
        }
        blocks.push_back(block);
    }
    blocks.push_back(Block(32640, 88, 7));
    blocks.push_back(Block(-32768, 88, 15));
    blocks.push_back(Block(0, 0, 0));
    for (const auto& block : blocks) {
        std::vector<std::int16_t> pcm;
        ASSERT_EQ(Decode(block, pcm, kSamplesPerBlock), 1);
        const std::vector<std::int16_t> expected = QuickTimeDecode(block);
        ASSERT_EQ(expected.size(), 64u);
        EXPECT_EQ(pcm[0], static_cast<std::int16_t>(block[0] | block[1] << 8));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pcm.begin() + 1)) << "step index " << int(block[2]);
    }

    // A code that drives the predictor past either end of the range stays at the end.
    std::vector<std::int16_t> pcm;
    ASSERT_EQ(Decode(Block(32000, 88, 7), pcm, kSamplesPerBlock), 1);
    EXPECT_EQ(pcm[0], 32000);
    EXPECT_EQ(pcm[1], 32767);
    EXPECT_EQ(pcm[kSamplesPerBlock - 1], 32767);
    ASSERT_EQ(Decode(Block(-32000, 88, 15), pcm, kSamplesPerBlock), 1);
    EXPECT_EQ(pcm[kSamplesPerBlock - 1], -32768);
}

TEST_F(AdpcmAudio, BlocksOfLibavcodecsEncoderSoundLikeLibavcodecsDecode)
{
    const std::vector<std::int16_t> sound = TestSound(kSamplesPerBlock * 40);
    const std::vector<std::uint8_t> blocks = EncodeBlocks(sound);
    ASSERT_EQ(blocks.size(), 40u * kBlockBytes);
    const std::vector<std::int16_t> reference = ReferenceDecode(blocks.data(), blocks.size());
    ASSERT_EQ(reference.size(), 40u * kSamplesPerBlock);

    // All blocks in one call, and block by block as the recorders send them.
    std::vector<std::int16_t> whole;
    ASSERT_EQ(Decode(blocks, whole, 40 * kSamplesPerBlock + 8), 1);
    EXPECT_EQ(whole[40 * kSamplesPerBlock], kGuard);
    int maximum = 0;
    for (int block = 0; block < 40; ++block) {
        const std::vector<std::uint8_t> one(blocks.begin() + block * kBlockBytes,
                                            blocks.begin() + (block + 1) * kBlockBytes);
        std::vector<std::int16_t> pcm;
        ASSERT_EQ(Decode(one, pcm, kSamplesPerBlock), 1);
        ASSERT_TRUE(std::equal(pcm.begin(), pcm.end(), whole.begin() + block * kSamplesPerBlock)) << block;
        // The first sample of a block is its header's, exactly.
        EXPECT_EQ(pcm[0], reference[static_cast<std::size_t>(block) * kSamplesPerBlock]);
        for (int i = 0; i < kSamplesPerBlock; ++i)
            maximum = std::max(maximum, std::abs(pcm[i] - reference[static_cast<std::size_t>(block * kSamplesPerBlock + i)]));
    }
    // libavcodec computes each difference as (2 x code + 1) x step / 8 in one rounding, the
    // published table sum in three; the two stay within a few steps of the smallest size.
    EXPECT_LE(maximum, 48);
}

TEST_F(AdpcmAudio, LengthsThatAreNotWholeBlocks)
{
    const std::vector<std::int16_t> sound = TestSound(kSamplesPerBlock * 2);
    std::vector<std::uint8_t> blocks = EncodeBlocks(sound);
    ASSERT_EQ(blocks.size(), 512u);
    std::vector<std::int16_t> pcm;

    ASSERT_EQ(Decode(blocks, pcm, 1100, 256), 1);
    EXPECT_EQ(Written(pcm), 505);
    ASSERT_EQ(Decode(blocks, pcm, 1100, 512), 1);
    EXPECT_EQ(Written(pcm), 1010);

    // A 4-byte tail is a block with a header and no codes: one more sample, its first.
    std::vector<std::uint8_t> withTail(blocks.begin(), blocks.begin() + 256);
    withTail.insert(withTail.end(), {0x34, 0x12, 5, 0, 0x99, 0x99});
    ASSERT_EQ(Decode(withTail, pcm, 1100, 260), 1);
    EXPECT_EQ(Written(pcm), 506);
    EXPECT_EQ(pcm[505], 0x1234);
    // A 2-byte tail is ignored.
    ASSERT_EQ(Decode(withTail, pcm, 1100, 258), 1);
    EXPECT_EQ(Written(pcm), 505);

    // Fewer than 4 bytes: nothing decoded, nothing written.
    DEC_SetLastError(0);
    EXPECT_EQ(Decode(blocks, pcm, 16, 3), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_AUDIO_DECODE);
    EXPECT_EQ(Written(pcm), 0);
    EXPECT_EQ(DEC_DecodeAudio(index_, nullptr, pcm.data(), 256, nullptr, 0, 0), 0);
}

TEST_F(AdpcmAudio, AnInvalidStepIndexFailsTheCallAfterTheBlocksBeforeIt)
{
    const std::vector<std::uint8_t> good = EncodeBlocks(TestSound(kSamplesPerBlock));
    std::vector<std::int16_t> reference;
    ASSERT_EQ(Decode(good, reference, kSamplesPerBlock), 1);
    std::vector<std::uint8_t> data = good;
    const std::vector<std::uint8_t> bad = Block(100, 89, 3);
    data.insert(data.end(), bad.begin(), bad.end());
    data.insert(data.end(), good.begin(), good.end());

    std::vector<std::int16_t> pcm;
    DEC_SetLastError(0);
    EXPECT_EQ(Decode(data, pcm, 3 * kSamplesPerBlock), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_AUDIO_DECODE);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), pcm.begin()));
    EXPECT_EQ(Written(pcm), kSamplesPerBlock);

    // Step index 88 is the last valid one.
    EXPECT_EQ(Decode(Block(100, 88, 3), pcm, kSamplesPerBlock), 1);
}

TEST_F(AdpcmAudio, CaptureOnlyNeverDecodesNorTouchesTheBuffer)
{
    std::vector<std::int16_t> pcm(kSamplesPerBlock, kGuard);
    const std::vector<std::uint8_t> bad = Block(100, 200, 3);
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_DecodeAudio(index_, bad.data(), pcm.data(), kBlockBytes, nullptr, 0, 1), 1);
    EXPECT_EQ(DEC_DecodeAudio(index_, nullptr, nullptr, 0, nullptr, 0, 1), 1);
    EXPECT_EQ(DEC_GetLastError(), 0);
    EXPECT_EQ(Written(pcm), 0);
    // An entry never created has no sound decoder.
    EXPECT_EQ(DEC_DecodeAudio(47, bad.data(), pcm.data(), kBlockBytes, nullptr, 0, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_NO_AUDIO_DECODER);
}
