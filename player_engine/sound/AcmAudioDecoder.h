#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/codecs/Msacm.h"
#include "player_engine/Component.h"
#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// One decoded piece of sound as the audio buffer holds it.
struct AudioPiece {
    uint32_t number = 0;
    std::vector<uint8_t> bytes;   // capacity: at least the decoder's output piece size
    uint32_t length = 0;          // bytes of PCM in it
};

// Decodes the splitter's audio stream to 16-bit PCM with the system's audio compression
// manager, one 256-byte source piece at a time. Open/Close on the UI thread while the port
// does not play; DecodePiece on the thread that takes pieces (the audio buffer serialises it).
class AcmAudioDecoder final : public Component {
public:
    static constexpr uint32_t kSourcePieceBytes = 256;

    ~AcmAudioDecoder() override;
    ComponentKind Kind() const override { return ComponentKind::AudioDecoder; }
    const char* DisplayName() const override { return name_.c_str(); }

    bool Open(Demuxer* splitter);
    void Close();
    bool IsOpen() const { return stream_ != nullptr; }
    uint32_t OutputPieceBytes() const { return output_piece_bytes_; }
    // The 18-byte PCM output format (format tag 1).
    const platform::WAVEFORMATEX& OutputFormat() const { return output_format_; }
    // Reads one source piece and converts it into the entry; false when the audio ran out or
    // nothing converted.
    bool DecodePiece(AudioPiece& entry);

private:
    std::string name_ = "ACM Wrapper";
    Demuxer* splitter_ = nullptr;   // not owned
    platform::HACMSTREAM stream_ = nullptr;
    platform::WAVEFORMATEX output_format_{};
    uint32_t output_piece_bytes_ = 0;
    std::vector<uint8_t> source_;   // kSourcePieceBytes
    std::vector<uint8_t> output_;   // output_piece_bytes_
    platform::ACMSTREAMHEADER header_{};
};

}  // namespace pellix
