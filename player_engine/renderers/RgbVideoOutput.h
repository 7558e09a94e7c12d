#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Sync.h"
#include "player_engine/Pellix.h"
#include "player_engine/decoders/VideoDecoder.h"
#include "player_engine/renderers/VideoOutputWrapper.h"

namespace pellix {

// What the draw callback receives as its device context (PELLIX_DRAW_CANVAS).
using DrawCanvas = PELLIX_DRAW_CANVAS;

// Draws YUY2 or I420 pictures into the port's window: burns in the recorder's texts, hands the
// picture to the display callback, converts it to BGRA at its own size and presents it, stretched
// by the window to its client size as display hardware would; regions 1 to 3 go to their own
// windows.
//
// Threads: Initialise/Close on the UI thread while nothing draws; Draw from the playback
// thread or from control operations while that thread is held. lock_ serialises draws.
class RgbVideoOutput final : public Component {
public:
    // The format code of a 32-bit screen before the YUY2 picture is set up.
    static constexpr int kFormatScreen32 = 4;

    explicit RgbVideoOutput(const RendererSettings& settings);
    ~RgbVideoOutput() override;

    ComponentKind Kind() const override { return ComponentKind::VideoRenderer; }
    const char* DisplayName() const override { return "Standard RGB Video Renderer"; }

    bool Initialise(void* window, int width, int height);
    // Every format is drawn from YUY2; accepting one sets the YUY2 code.
    bool AcceptFormat(int code);
    int PreferredFormat() const { return format_code_; }
    // Draws a picture of width x height in `layout`; `flip` marks YUY2 rows stored bottom-up.
    // An I420 picture is converted straight to the window's BGRA, unless texts are burnt in or
    // a display callback takes the picture: both work on YUY2, which it is packed to first.
    bool Draw(uint8_t* picture, PictureLayout layout, int flip, const InfoBlock* info);
    void SetSettings(const RendererSettings& settings);
    void Close();

private:
    void Convert(const uint8_t* picture, bool flip);
    void PresentRect(void* window, const OutputRect& source);

    mutable platform::CriticalSection lock_;
    // Guarded by lock_.
    RendererSettings settings_;
    void* window_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int format_code_ = 0;
    std::vector<uint8_t> bgra_;      // width x height x 4
    std::vector<uint8_t> canvas_;    // copy handed to the draw callback
    std::vector<uint8_t> packed_;    // an I420 picture packed to YUY2, width x height x 2
    std::vector<uint8_t> upright_;   // a bottom-up YUY2 picture turned upright for the burn-in
};

}  // namespace pellix
