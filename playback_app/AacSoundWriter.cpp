#include "playback_app/AacSoundWriter.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "common/TraceMessage.h"

namespace lumaro {

namespace {

// The AAC rate nearest above `rate` that the encoder offers (its highest when none is above).
int AacRate(const AVCodec* encoder, int rate) {
  if (!encoder->supported_samplerates) return rate;
  int above = 0, highest = 0;
  for (const int* offered = encoder->supported_samplerates; *offered != 0; ++offered) {
    if (*offered == rate) return rate;
    if (*offered > rate && (above == 0 || *offered < above)) above = *offered;
    highest = std::max(highest, *offered);
  }
  return above != 0 ? above : highest;
}

// A layout with a known channel order: the decoders of recorder sound only give a count.
void OrderedLayout(const AVChannelLayout& layout, AVChannelLayout* ordered) {
  if (layout.order == AV_CHANNEL_ORDER_NATIVE) {
    av_channel_layout_copy(ordered, &layout);
  } else {
    av_channel_layout_default(ordered, std::max(1, layout.nb_channels));
  }
}

}  // namespace

AacSoundWriter::~AacSoundWriter() {
  avcodec_free_context(&decoder_);
  avcodec_free_context(&encoder_);
  swr_free(&resampler_);
  if (fifo_) av_audio_fifo_free(fifo_);
  av_frame_free(&decoded_);
  av_frame_free(&converted_);
  av_frame_free(&chunk_);
  av_packet_free(&encoded_);
}

bool AacSoundWriter::Open(const AVStream* source, AVFormatContext* output) {
  const AVCodec* decoder = avcodec_find_decoder(source->codecpar->codec_id);
  // The encoder built into libavcodec: present in every build, and free of licence options.
  const AVCodec* encoder = avcodec_find_encoder_by_name("aac");
  if (!decoder || !encoder) {
    TraceMessage("[LUMARO] - save video: no %s for the sound.", decoder ? "AAC encoder" : "sound decoder");
    return false;
  }
  decoder_ = avcodec_alloc_context3(decoder);
  if (!decoder_ || avcodec_parameters_to_context(decoder_, source->codecpar) < 0 ||
      avcodec_open2(decoder_, decoder, nullptr) < 0 || decoder_->sample_rate <= 0) {
    TraceMessage("[LUMARO] - save video: the sound decoder does not open.");
    return false;
  }
  AVChannelLayout input = {};
  OrderedLayout(decoder_->ch_layout, &input);
  encoder_ = avcodec_alloc_context3(encoder);
  if (!encoder_) {
    av_channel_layout_uninit(&input);
    return false;
  }
  const int channels = std::min(input.nb_channels, 2);
  av_channel_layout_default(&encoder_->ch_layout, channels);
  encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder_->sample_rate = AacRate(encoder, decoder_->sample_rate);
  // Speech from a recorder at 8 kHz needs little; music at 48 kHz gets the usual 64 kbit/s.
  encoder_->bit_rate = static_cast<std::int64_t>(channels) * std::clamp(encoder_->sample_rate * 4, 16000, 64000);
  encoder_->time_base = AVRational{1, encoder_->sample_rate};
  if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  bool ready = avcodec_open2(encoder_, encoder, nullptr) >= 0 && encoder_->frame_size > 0;
  ready = ready && swr_alloc_set_opts2(&resampler_, &encoder_->ch_layout, encoder_->sample_fmt,
                                       encoder_->sample_rate, &input, decoder_->sample_fmt,
                                       decoder_->sample_rate, 0, nullptr) >= 0 &&
          swr_init(resampler_) >= 0;
  av_channel_layout_uninit(&input);
  fifo_ = ready ? av_audio_fifo_alloc(encoder_->sample_fmt, channels, encoder_->frame_size) : nullptr;
  decoded_ = av_frame_alloc();
  converted_ = av_frame_alloc();
  chunk_ = av_frame_alloc();
  encoded_ = av_packet_alloc();
  if (!fifo_ || !decoded_ || !converted_ || !chunk_ || !encoded_) {
    TraceMessage("[LUMARO] - save video: the AAC encoder does not open.");
    return false;
  }
  stream_ = avformat_new_stream(output, nullptr);
  if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0) return false;
  stream_->time_base = encoder_->time_base;
  output_ = output;
  sourceTimeBaseNum_ = source->time_base.num;
  sourceTimeBaseDen_ = source->time_base.den;
  return true;
}

int AacSoundWriter::StreamIndex() const { return stream_ ? stream_->index : -1; }

bool AacSoundWriter::Write(const AVPacket* packet) {
  if (avcodec_send_packet(decoder_, packet) < 0) {
    // A damaged block costs its own samples only; the rest of the sound goes on.
    if (rejectedBlocks_++ == 0) TraceMessage("[LUMARO] - save video: a sound block does not decode, left out.");
    return true;
  }
  while (avcodec_receive_frame(decoder_, decoded_) >= 0) {
    const bool ok = Convert(decoded_);
    av_frame_unref(decoded_);
    if (!ok) return false;
  }
  return EncodeBuffered(false);
}

bool AacSoundWriter::Convert(const AVFrame* decoded) {
  if (nextSample_ == INT64_MIN) {
    // The sound starts where the recording puts its first block, not at the MP4's zero.
    const std::int64_t start = decoded ? decoded->best_effort_timestamp : AV_NOPTS_VALUE;
    nextSample_ = start == AV_NOPTS_VALUE
                      ? 0
                      : av_rescale_q(start, AVRational{sourceTimeBaseNum_, sourceTimeBaseDen_}, encoder_->time_base);
  }
  av_frame_unref(converted_);
  converted_->format = encoder_->sample_fmt;
  converted_->sample_rate = encoder_->sample_rate;
  if (av_channel_layout_copy(&converted_->ch_layout, &encoder_->ch_layout) < 0) return false;
  // A decoder frame with an unordered layout is taken as the ordered one the resampler expects.
  AVFrame* input = nullptr;
  if (decoded) {
    input = av_frame_clone(decoded);
    if (!input) return false;
    if (input->ch_layout.order != AV_CHANNEL_ORDER_NATIVE) {
      const int count = input->ch_layout.nb_channels;
      av_channel_layout_uninit(&input->ch_layout);
      av_channel_layout_default(&input->ch_layout, std::max(1, count));
    }
  }
  const int converted = swr_convert_frame(resampler_, converted_, input);
  av_frame_free(&input);
  if (converted < 0) {
    TraceMessage("[LUMARO] - save video: the sound does not convert (%d).", converted);
    return false;
  }
  if (converted_->nb_samples > 0 &&
      av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted_->extended_data), converted_->nb_samples) <
          converted_->nb_samples)
    return false;
  return true;
}

bool AacSoundWriter::EncodeBuffered(bool last) {
  const int frameSize = encoder_->frame_size;
  while (av_audio_fifo_size(fifo_) >= frameSize || (last && av_audio_fifo_size(fifo_) > 0)) {
    const int samples = std::min(frameSize, av_audio_fifo_size(fifo_));
    av_frame_unref(chunk_);
    chunk_->nb_samples = samples;
    chunk_->format = encoder_->sample_fmt;
    chunk_->sample_rate = encoder_->sample_rate;
    if (av_channel_layout_copy(&chunk_->ch_layout, &encoder_->ch_layout) < 0 || av_frame_get_buffer(chunk_, 0) < 0 ||
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(chunk_->extended_data), samples) < samples)
      return false;
    chunk_->pts = nextSample_;
    nextSample_ += samples;
    if (avcodec_send_frame(encoder_, chunk_) < 0 || !WriteEncoded()) return false;
  }
  return true;
}

bool AacSoundWriter::WriteEncoded() {
  int received;
  while ((received = avcodec_receive_packet(encoder_, encoded_)) >= 0) {
    av_packet_rescale_ts(encoded_, encoder_->time_base, stream_->time_base);
    encoded_->stream_index = stream_->index;
    const int written = av_interleaved_write_frame(output_, encoded_);
    av_packet_unref(encoded_);
    if (written < 0) return false;
  }
  return received == AVERROR(EAGAIN) || received == AVERROR_EOF;
}

bool AacSoundWriter::Finish() {
  if (!output_) return false;
  avcodec_send_packet(decoder_, nullptr);
  while (avcodec_receive_frame(decoder_, decoded_) >= 0) {
    const bool ok = Convert(decoded_);
    av_frame_unref(decoded_);
    if (!ok) return false;
  }
  // What the resampler still holds (only when it changes the rate).
  if (nextSample_ != INT64_MIN && swr_get_delay(resampler_, encoder_->sample_rate) > 0 && !Convert(nullptr))
    return false;
  if (!EncodeBuffered(true)) return false;
  if (avcodec_send_frame(encoder_, nullptr) < 0) return false;
  return WriteEncoded();
}

}  // namespace lumaro
