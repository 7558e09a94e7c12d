#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwrContext;
}

namespace halvane {
class AdpcmEncoder;
}

namespace camlink {

// Turns a camera's sound (G.711 mu-law or A-law, AAC) into the recording format of the
// suite: mono 8 kHz IMA ADPCM in blocks of 256 bytes (505 samples each). One per session,
// used by its receive thread only.
class SoundTranscoder {
public:
    static constexpr int kBlockBytes = 256;
    static constexpr int kSamplesPerBlock = 505;
    static constexpr int kRate = 8000;

    // Receives each finished block and the stamp (ms) of its first sample.
    using BlockSink = std::function<void(const unsigned char* block, int length, int stamp_ms)>;

    SoundTranscoder();
    ~SoundTranscoder();
    SoundTranscoder(const SoundTranscoder&) = delete;
    SoundTranscoder& operator=(const SoundTranscoder&) = delete;

    // Prepares the decoder for the stream; false (and a trace line by the caller) when the
    // codec cannot be opened.
    bool Open(const AVCodecParameters* parameters);
    void Close();
    // Decodes one packet and hands every block it completes to `sink`. A damaged packet is
    // dropped; the next one decodes as usual.
    void Push(const AVPacket* packet, int stamp_ms, const BlockSink& sink);

private:
    void Resampled(const AVFrame* frame, int stamp_ms, const BlockSink& sink);

    AVCodecContext* decoder_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    int resamplerRate_ = 0;  // input rate the resampler was set up for
    int resamplerFormat_ = -1;
    int resamplerChannels_ = 0;
    std::vector<int16_t> pending_;  // samples waiting for a whole block
    // The first pending sample's stamp, as the stamp of a packet (ms) plus the samples made
    // since it: a block's 63.125 ms summed in whole milliseconds would run the sound ahead
    // of the pictures by seconds an hour.
    int pendingBase_ms_ = 0;
    int64_t pendingOffset_ = 0;
    std::vector<unsigned char> block_;
    std::unique_ptr<halvane::AdpcmEncoder> encoder_;  // state carries across blocks
};

}  // namespace camlink
