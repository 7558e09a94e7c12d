#pragma once

// Carries a recording's sound into an MP4 file as AAC. The recorders store IMA ADPCM, which
// MP4 players do not take; its blocks are decoded, brought to the sample format (and, where
// AAC has no such rate, the sample rate) of the AAC encoder, and encoded in whole AAC frames.

extern "C" {
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct AVAudioFifo;
struct SwrContext;
}

#include <cstdint>

namespace lumaro {

class AacSoundWriter {
 public:
  AacSoundWriter() = default;
  AacSoundWriter(const AacSoundWriter&) = delete;
  AacSoundWriter& operator=(const AacSoundWriter&) = delete;
  ~AacSoundWriter();

  // Opens the decoder of `source` and the AAC encoder and adds the AAC stream to `output`,
  // whose header is not written yet. False (nothing added) when the sound cannot be carried.
  bool Open(const AVStream* source, AVFormatContext* output);
  // One packet of the source stream. A block the decoder rejects is left out; false only when
  // writing to the output fails.
  bool Write(const AVPacket* packet);
  // Encodes what is still buffered, the last AAC frame shorter than the others.
  bool Finish();

  int StreamIndex() const;

 private:
  bool Convert(const AVFrame* decoded);
  bool EncodeBuffered(bool last);
  bool WriteEncoded();

  AVFormatContext* output_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  SwrContext* resampler_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;
  AVFrame* decoded_ = nullptr;
  AVFrame* converted_ = nullptr;
  AVFrame* chunk_ = nullptr;
  AVPacket* encoded_ = nullptr;
  int sourceTimeBaseNum_ = 1;
  int sourceTimeBaseDen_ = 1;
  std::int64_t nextSample_ = INT64_MIN;  // time of the next AAC frame, in samples
  int rejectedBlocks_ = 0;
};

}  // namespace lumaro
