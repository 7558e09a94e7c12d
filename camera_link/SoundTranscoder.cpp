#include "camera_link/SoundTranscoder.h"

#include "decoder_library/AdpcmEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace camlink {

SoundTranscoder::SoundTranscoder() = default;

SoundTranscoder::~SoundTranscoder()
{
    Close();
}

void SoundTranscoder::Close()
{
    avcodec_free_context(&decoder_);
    av_frame_free(&frame_);
    swr_free(&resampler_);
    resamplerRate_ = 0;
    resamplerFormat_ = -1;
    resamplerChannels_ = 0;
    pending_.clear();
    encoder_.reset();
}

bool SoundTranscoder::Open(const AVCodecParameters* parameters)
{
    Close();
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return false;
    decoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    if (!decoder_ || !frame_ || avcodec_parameters_to_context(decoder_, parameters) < 0) {
        Close();
        return false;
    }
    // G.711 descriptions may leave the channel count out; it is one.
    if (decoder_->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&decoder_->ch_layout, 1);
    if (decoder_->sample_rate <= 0)
        decoder_->sample_rate = kRate;
    if (avcodec_open2(decoder_, codec, nullptr) < 0) {
        Close();
        return false;
    }
    encoder_ = std::make_unique<halvane::AdpcmEncoder>();
    return true;
}

void SoundTranscoder::Push(const AVPacket* packet, int stamp_ms, const BlockSink& sink)
{
    if (!decoder_)
        return;
    if (avcodec_send_packet(decoder_, packet) < 0)
        return;
    while (avcodec_receive_frame(decoder_, frame_) == 0) {
        Resampled(frame_, stamp_ms, sink);
        av_frame_unref(frame_);
    }
}

void SoundTranscoder::Resampled(const AVFrame* frame, int stamp_ms, const BlockSink& sink)
{
    const int channels = frame->ch_layout.nb_channels;
    if (frame->sample_rate <= 0 || channels <= 0 || frame->nb_samples <= 0)
        return;
    // A camera may change its sound format between packets (an AAC stream's first frames);
    // the resampler follows it.
    if (!resampler_ || resamplerRate_ != frame->sample_rate || resamplerFormat_ != frame->format ||
        resamplerChannels_ != channels) {
        swr_free(&resampler_);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        if (swr_alloc_set_opts2(&resampler_, &mono, AV_SAMPLE_FMT_S16, kRate, const_cast<AVChannelLayout*>(&frame->ch_layout),
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            return;
        }
        resamplerRate_ = frame->sample_rate;
        resamplerFormat_ = frame->format;
        resamplerChannels_ = channels;
    }
    const int room = swr_get_out_samples(resampler_, frame->nb_samples);
    if (room <= 0)
        return;
    if (pending_.empty()) {
        pendingBase_ms_ = stamp_ms;
        pendingOffset_ = 0;
    }
    const size_t before = pending_.size();
    pending_.resize(before + static_cast<size_t>(room));
    uint8_t* out = reinterpret_cast<uint8_t*>(pending_.data() + before);
    const int made = swr_convert(resampler_, &out, room, const_cast<const uint8_t**>(frame->extended_data),
                                 frame->nb_samples);
    pending_.resize(before + static_cast<size_t>(made > 0 ? made : 0));

    size_t used = 0;
    while (pending_.size() - used >= static_cast<size_t>(kSamplesPerBlock)) {
        block_.clear();
        encoder_->EncodeBlock(pending_.data() + used, block_);
        sink(block_.data(), static_cast<int>(block_.size()),
             pendingBase_ms_ + static_cast<int>(pendingOffset_ * 1000 / kRate));
        used += kSamplesPerBlock;
        pendingOffset_ += kSamplesPerBlock;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
}

}  // namespace camlink
