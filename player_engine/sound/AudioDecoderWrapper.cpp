#include "player_engine/sound/AudioDecoderWrapper.h"

#include <vector>

namespace pellix {

namespace {
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagImaAdpcm = 0x11;
}  // namespace

bool AudioDecoderWrapper::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& format = splitter->AudioFormat();
    if (format.size() < 16) return false;
    const uint16_t tag = Le16(format.data());
    const uint16_t channels = Le16(format.data() + 2);
    const uint32_t rate = Le32(format.data() + 4);
    const uint16_t block_align = Le16(format.data() + 12);
    const uint16_t bits = Le16(format.data() + 14);
    if (channels == 0 || channels > 2 || rate == 0 || rate > 192000) return false;
    if (tag == kTagImaAdpcm) {
        if (bits != 4 || block_align < 4u * channels || kSourcePieceBytes % block_align != 0) return false;
        // Each block: a 4-byte header per channel carrying one sample, then two samples a byte.
        const uint32_t samples_per_block = (block_align - 4u * channels) * 2u / channels + 1u;
        output_piece_bytes_ = kSourcePieceBytes / block_align * samples_per_block * channels * 2u;
    } else if (tag == kTagPcm) {
        if (bits != 8 && bits != 16) return false;
        output_piece_bytes_ = kSourcePieceBytes / (bits / 8u) * 2u;
    } else {
        return false;
    }
    sample_rate_ = rate;
    channels_ = channels;
    return true;
}

void AudioDecoderWrapper::Close() {
    output_piece_bytes_ = 0;
    sample_rate_ = 0;
    channels_ = 0;
}

}  // namespace pellix
