#include "player_engine/sound/AudioDecoderWrapper.h"

namespace pellix {

bool AudioDecoderWrapper::Open(Demuxer* splitter) {
    Close();
    auto decoder = std::make_unique<AcmAudioDecoder>();
    if (!decoder->Open(splitter)) return false;
    active_ = std::move(decoder);
    return true;
}

}  // namespace pellix
