// A camera's sound into the recording blocks: G.711 (both laws) and AAC of a 1 kHz tone come
// out as 8 kHz mono IMA ADPCM that the decoding library's decoder expands back into that tone,
// with block stamps that keep to the sound's own clock.

#include "camera_link/SoundTranscoder.h"
#include "decoder_library/ADPCMCodec.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Transcoded {
    std::vector<int16_t> pcm;  // the blocks expanded again
    std::vector<int> stamps;   // ms of each block's first sample
};

// Encodes `seconds` of a 1 kHz tone at half of full scale with `encoder`, in packets of its
// frame size (160 samples for G.711), and pushes them through a transcoder stamped by time.
Transcoded ToneThrough(const char* encoderName, int rate, int channels, AVSampleFormat format, double seconds)
{
    Transcoded result;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
    EXPECT_NE(codec, nullptr) << encoderName;
    if (codec == nullptr)
        return result;
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->sample_rate = rate;
    encoder->sample_fmt = format;
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->bit_rate = 128000;
    encoder->time_base = AVRational{1, rate};
    EXPECT_EQ(avcodec_open2(encoder, codec, nullptr), 0);
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    avcodec_parameters_from_context(parameters, encoder);

    camlink::SoundTranscoder transcoder;
    EXPECT_TRUE(transcoder.Open(parameters));
    const ADPCMCodec adpcm;
    const auto sink = [&](const unsigned char* block, int length, int stamp_ms) {
        EXPECT_EQ(length, camlink::SoundTranscoder::kBlockBytes);
        std::vector<int16_t> samples(camlink::SoundTranscoder::kSamplesPerBlock);
        EXPECT_EQ(adpcm.Decode(block, length, samples.data(), length), ADPCMCodec::kBlockPcmBytes);
        result.pcm.insert(result.pcm.end(), samples.begin(), samples.end());
        result.stamps.push_back(stamp_ms);
    };
    AVPacket* packet = av_packet_alloc();
    const auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            const int stamp = static_cast<int>(packet->pts * 1000 / rate);
            transcoder.Push(packet, stamp, sink);
            av_packet_unref(packet);
        }
    };
    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 160;
    const int64_t total = static_cast<int64_t>(seconds * rate);
    AVFrame* frame = av_frame_alloc();
    for (int64_t at = 0; at < total; at += frameSize) {
        frame->nb_samples = frameSize;
        frame->format = format;
        frame->sample_rate = rate;
        av_channel_layout_default(&frame->ch_layout, channels);
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < frameSize; ++i) {
            const double value = 0.5 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(at + i) / rate);
            for (int c = 0; c < channels; ++c) {
                if (format == AV_SAMPLE_FMT_FLTP)
                    reinterpret_cast<float*>(frame->extended_data[c])[i] = static_cast<float>(value);
                else
                    reinterpret_cast<int16_t*>(frame->data[0])[i * channels + c] = static_cast<int16_t>(value * 32767);
            }
        }
        frame->pts = at;
        EXPECT_EQ(avcodec_send_frame(encoder, frame), 0);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(encoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_parameters_free(&parameters);
    avcodec_free_context(&encoder);
    return result;
}

// Checks the middle of the sound (away from the codecs' start-up) for the 1 kHz tone at half
// of full scale: its zero crossings per second and its RMS level.
void ExpectTone(const std::vector<int16_t>& pcm, double rmsTolerance)
{
    ASSERT_GT(pcm.size(), 8000u);
    const size_t from = 2000, to = pcm.size() - 2000;
    int crossings = 0;
    double energy = 0;
    for (size_t i = from; i < to; ++i) {
        if ((pcm[i - 1] < 0) != (pcm[i] < 0))
            ++crossings;
        energy += static_cast<double>(pcm[i]) * pcm[i];
    }
    const double seconds = static_cast<double>(to - from) / 8000.0;
    EXPECT_NEAR(crossings / seconds, 2000.0, 40.0) << "not a 1 kHz tone at 8 kHz";
    const double rms = std::sqrt(energy / static_cast<double>(to - from));
    EXPECT_NEAR(rms, 0.5 * 32767 / std::sqrt(2.0), 0.5 * 32767 / std::sqrt(2.0) * rmsTolerance);
}

TEST(SoundTranscoder, G711BothLawsBecomeTheToneWithStampsOnTheSoundsClock)
{
    for (const char* law : {"pcm_mulaw", "pcm_alaw"}) {
        SCOPED_TRACE(law);
        const Transcoded out = ToneThrough(law, 8000, 1, AV_SAMPLE_FMT_S16, 10.0);
        // 80,000 samples are 158 whole blocks; the rest waits for more sound.
        ASSERT_EQ(out.stamps.size(), 158u);
        ExpectTone(out.pcm, 0.05);
        // Each block is stamped with its first sample's time, 63.125 ms apart, without
        // drifting from the sound's clock over the ten seconds.
        for (size_t i = 0; i < out.stamps.size(); ++i)
            ASSERT_NEAR(out.stamps[i], static_cast<double>(i) * 505 * 1000 / 8000, 1.0) << "block " << i;
    }
}

TEST(SoundTranscoder, StereoAacAt48kHzIsResampledToTheToneInMono)
{
    const Transcoded out = ToneThrough("aac", 48000, 2, AV_SAMPLE_FMT_FLTP, 3.0);
    // Three seconds at 8 kHz, less the encoder's and resampler's start-up delay.
    EXPECT_GE(out.pcm.size(), 23000u);
    EXPECT_LE(out.pcm.size(), 24500u);
    ExpectTone(out.pcm, 0.15);
    for (size_t i = 1; i < out.stamps.size(); ++i)
        ASSERT_GT(out.stamps[i], out.stamps[i - 1]);
}

}  // namespace
