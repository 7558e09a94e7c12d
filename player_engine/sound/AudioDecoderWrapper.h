#pragma once

#include <cstdint>

#include "player_engine/Component.h"
#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// The port's audio decoder: opens on the splitter's wave format when it is one the engine
// decodes to 16-bit PCM (IMA ADPCM or PCM), and knows the PCM size of one 256-byte source
// piece. UI thread.
class AudioDecoderWrapper final : public Component {
public:
    static constexpr uint32_t kSourcePieceBytes = 256;

    ComponentKind Kind() const override { return ComponentKind::AudioDecoder; }
    const char* DisplayName() const override { return "Audio Decoder Wrapper"; }

    bool Open(Demuxer* splitter);
    void Close();
    bool IsOpen() const { return output_piece_bytes_ != 0; }
    // PCM bytes produced from one 256-byte source piece; 0 when closed.
    uint32_t OutputPieceBytes() const { return output_piece_bytes_; }
    uint32_t OutputSampleRate() const { return sample_rate_; }
    uint16_t OutputChannels() const { return channels_; }

private:
    uint32_t output_piece_bytes_ = 0;
    uint32_t sample_rate_ = 0;
    uint16_t channels_ = 0;
};

}  // namespace pellix
