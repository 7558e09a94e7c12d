#pragma once

#include <cstdint>

#include "player_engine/Component.h"
#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// Picture format codes between decoders and renderers.
inline constexpr int kPictureFormatNone = 0;
inline constexpr int kPictureFormatDrawDib = 4;
inline constexpr int kPictureFormatYuy2 = 7;

// A video decoder: opens on a splitter's video format and turns its frames into packed
// 4:2:2 pictures. Open and Close run on the UI thread while the port does not play.
class VideoDecoder : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::VideoDecoder; }

    // The splitter stays the caller's and must outlive Close.
    virtual bool Open(Demuxer* splitter) = 0;
    virtual void Close() = 0;
    // Bytes of one output picture: width x height x 2.
    virtual uint32_t OutputSize() const = 0;
    virtual int PreferredFormat() const { return kPictureFormatNone; }
    // 1 when the pictures' rows run bottom-up.
    virtual int FlipFlag() const { return 0; }
    virtual bool StoreVerify(const VerifySettings& settings) { (void)settings; return true; }
};

}  // namespace pellix
