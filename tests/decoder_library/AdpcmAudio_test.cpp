// IMA ADPCM sound through DEC_DecodeAudio, held against libavcodec's decoders.

#include "decoder_library/Halvane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
constexpr int kSamples = 505;  // of one block
constexpr std::int16_t kGuard = 0x5A5A;
using Bytes = std::vector<std::uint8_t>;

AVCodecContext* OpenContext(const AVCodec* codec)
{
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = kBlockBytes;
    context->bits_per_coded_sample = 4;
    context->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_opt_set_int(context->priv_data, "block_size", kBlockBytes, 0);
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    return context;
}

// libavcodec's decoding of each packet, samples one after the other.
std::vector<std::int16_t> LibavcodecDecode(AVCodecID id, const std::vector<Bytes>& packets)
{
    AVCodecContext* context = OpenContext(avcodec_find_decoder(id));
    std::vector<std::int16_t> samples;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    for (const Bytes& bytes : packets) {
        av_new_packet(packet, static_cast<int>(bytes.size()));
        std::memcpy(packet->data, bytes.data(), bytes.size());
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

// Two tones, a sweep, noise and loud stretches, encoded into 256-byte blocks by libavcodec's
// adpcm_ima_wav encoder.
std::vector<Bytes> EncodedSound(int blocks)
{
    AVCodecContext* context = OpenContext(avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV));
    EXPECT_EQ(context->frame_size, kSamples);
    std::vector<Bytes> encoded;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::uint32_t noise = 12345;
    for (int block = 0; block < blocks; ++block) {
        frame->nb_samples = kSamples;
        frame->format = context->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        EXPECT_EQ(av_frame_get_buffer(frame, 0), 0);
        auto* samples = reinterpret_cast<std::int16_t*>(frame->data[0]);
        for (int i = 0; i < kSamples; ++i) {
            const double t = (block * kSamples + i) / 8000.0;
            noise = noise * 1664525 + 1013904223;
            double value = 9000 * std::sin(2 * M_PI * 440 * t) + 5000 * std::sin(2 * M_PI * (200 + 900 * t) * t) +
                           static_cast<int>(noise >> 20) - 2048;
            value *= block % 3 == 2 ? 4 : 1;
            samples[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
        }
        EXPECT_EQ(avcodec_send_frame(context, frame), 0);
        while (avcodec_receive_packet(context, packet) == 0) {
            encoded.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_frame_unref(frame);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return encoded;
}

// A block whose header is (first sample, step index) and whose codes are all `code`.
Bytes Block(std::int16_t first, int stepIndex, int code)
{
    Bytes block(kBlockBytes, static_cast<std::uint8_t>(code | code << 4));
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

    // DEC_DecodeAudio of the first `length` bytes into `room` samples of guard values.
    int Decode(const Bytes& data, std::vector<std::int16_t>& pcm, int room, int length = -1)
    {
        pcm.assign(static_cast<std::size_t>(room), kGuard);
        return DEC_DecodeAudio(index_, data.data(), pcm.data(), length < 0 ? static_cast<int>(data.size()) : length,
                               nullptr, 0, 0);
    }

    // Samples written: the buffer up to its trailing guard values.
    static int Written(const std::vector<std::int16_t>& pcm)
    {
        auto last = std::find_if(pcm.rbegin(), pcm.rend(), [](std::int16_t s) { return s != kGuard; });
        return static_cast<int>(pcm.rend() - last);
    }

    int index_ = -1;
};

}  // namespace

TEST_F(AdpcmAudio, CodesExpandAsLibavcodecsPublishedTableDecoderDoes)
{
    // libavcodec's adpcm_ima_qt decoder expands codes with the published table sum. Its block
    // is a big-endian header (predictor in bits 15-7, step index in bits 6-0) and 32 bytes of
    // codes, low nibble first: the first 64 codes of a block whose first sample is a multiple
    // of 128. Every step index with random codes, and full-scale codes at either end.
    std::uint32_t seed = 99;
    std::vector<Bytes> blocks = {Block(32640, 88, 7), Block(-32768, 88, 15), Block(0, 0, 0)};
    for (int stepIndex = 0; stepIndex <= 88; ++stepIndex) {
        seed = seed * 1664525 + 1013904223;
        Bytes block = Block(static_cast<std::int16_t>(static_cast<int>(seed >> 20) * 128 - 16384), stepIndex, 0);
        for (std::size_t i = 4; i < block.size(); ++i) {
            seed = seed * 1664525 + 1013904223;
            block[i] = static_cast<std::uint8_t>(seed >> 24);
        }
        blocks.push_back(block);
    }
    for (const Bytes& block : blocks) {
        Bytes quickTime = {block[1], static_cast<std::uint8_t>(block[0] | block[2])};
        quickTime.insert(quickTime.end(), block.begin() + 4, block.begin() + 36);
        const std::vector<std::int16_t> expected = LibavcodecDecode(AV_CODEC_ID_ADPCM_IMA_QT, {quickTime});
        ASSERT_EQ(expected.size(), 64u);
        std::vector<std::int16_t> pcm;
        ASSERT_EQ(Decode(block, pcm, kSamples), 1);
        EXPECT_EQ(pcm[0], static_cast<std::int16_t>(block[0] | block[1] << 8));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pcm.begin() + 1)) << "step index " << int(block[2]);
    }

    // A code that drives the predictor past either end of the range stays at the end.
    std::vector<std::int16_t> pcm;
    ASSERT_EQ(Decode(Block(32000, 88, 7), pcm, kSamples), 1);
    EXPECT_EQ(pcm[1], 32767);
    EXPECT_EQ(pcm[kSamples - 1], 32767);
    ASSERT_EQ(Decode(Block(-32000, 88, 15), pcm, kSamples), 1);
    EXPECT_EQ(pcm[kSamples - 1], -32768);
}

TEST_F(AdpcmAudio, EncodedSoundDecodesLikeLibavcodecInOneCallOrBlockByBlock)
{
    const std::vector<Bytes> blocks = EncodedSound(40);
    ASSERT_EQ(blocks.size(), 40u);
    const std::vector<std::int16_t> reference = LibavcodecDecode(AV_CODEC_ID_ADPCM_IMA_WAV, blocks);
    ASSERT_EQ(reference.size(), 40u * kSamples);
    Bytes all;
    for (const Bytes& block : blocks)
        all.insert(all.end(), block.begin(), block.end());
    std::vector<std::int16_t> whole;
    ASSERT_EQ(Decode(all, whole, 40 * kSamples + 8), 1);
    EXPECT_EQ(Written(whole), 40 * kSamples);

    int worst = 0;
    for (int block = 0; block < 40; ++block) {
        std::vector<std::int16_t> pcm;
        ASSERT_EQ(Decode(blocks[block], pcm, kSamples), 1);
        ASSERT_TRUE(std::equal(pcm.begin(), pcm.end(), whole.begin() + block * kSamples)) << block;
        EXPECT_EQ(pcm[0], reference[static_cast<std::size_t>(block) * kSamples]);  // the header's sample
        for (int i = 0; i < kSamples; ++i)
            worst = std::max(worst, std::abs(pcm[i] - reference[static_cast<std::size_t>(block) * kSamples + i]));
    }
    // adpcm_ima_wav rounds each difference once, as (2 x code + 1) x step / 8, where the
    // published sum rounds three times: a few of the smallest steps apart, never more.
    EXPECT_LE(worst, 48);
}

TEST_F(AdpcmAudio, ByteCountsInvalidIndexesAndCaptureOnly)
{
    const std::vector<Bytes> blocks = EncodedSound(2);
    Bytes data = blocks[0];
    data.insert(data.end(), blocks[1].begin(), blocks[1].end());
    std::vector<std::int16_t> pcm;
    for (const auto& [length, samples] : {std::pair{256, 505}, std::pair{512, 1010}, std::pair{258, 505}}) {
        ASSERT_EQ(Decode(data, pcm, 1100, length), 1);
        EXPECT_EQ(Written(pcm), samples) << length;
    }
    // A 4-byte tail is a block with a header and no codes: one more sample, its first.
    Bytes tail(blocks[0]);
    tail.insert(tail.end(), {0x34, 0x12, 5, 0});
    ASSERT_EQ(Decode(tail, pcm, 1100), 1);
    EXPECT_EQ(Written(pcm), 506);
    EXPECT_EQ(pcm[505], 0x1234);

    // Fewer than 4 bytes, or no data: nothing decoded, 136.
    DEC_SetLastError(0);
    EXPECT_EQ(Decode(data, pcm, 16, 3), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_AUDIO_DECODE);
    EXPECT_EQ(Written(pcm), 0);
    EXPECT_EQ(DEC_DecodeAudio(index_, nullptr, pcm.data(), 256, nullptr, 0, 0), 0);

    // Step index 89 fails the call after the block before it was written; 88 is valid.
    Bytes bad = blocks[0];
    const Bytes invalid = Block(100, 89, 3);
    bad.insert(bad.end(), invalid.begin(), invalid.end());
    std::vector<std::int16_t> first;
    ASSERT_EQ(Decode(blocks[0], first, kSamples), 1);
    DEC_SetLastError(0);
    EXPECT_EQ(Decode(bad, pcm, 2 * kSamples), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_AUDIO_DECODE);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), pcm.begin()));
    EXPECT_EQ(Written(pcm), kSamples);
    EXPECT_EQ(Decode(Block(100, 88, 3), pcm, kSamples), 1);

    // Capture only: nothing decoded, even nonsense, and the buffer untouched.
    pcm.assign(kSamples, kGuard);
    DEC_SetLastError(0);
    EXPECT_EQ(DEC_DecodeAudio(index_, invalid.data(), pcm.data(), kBlockBytes, nullptr, 0, 1), 1);
    EXPECT_EQ(DEC_DecodeAudio(index_, nullptr, nullptr, 0, nullptr, 0, 1), 1);
    EXPECT_EQ(DEC_GetLastError(), 0);
    EXPECT_EQ(Written(pcm), 0);
    // An entry never created has no sound decoder.
    EXPECT_EQ(DEC_DecodeAudio(47, blocks[0].data(), pcm.data(), kBlockBytes, nullptr, 0, 0), 0);
    EXPECT_EQ(DEC_GetLastError(), DEC_ERROR_NO_AUDIO_DECODER);
}
