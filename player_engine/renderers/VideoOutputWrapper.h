#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "player_engine/Component.h"
#include "player_engine/decoders/VideoDecoder.h"

namespace pellix {

using DisplayCallback = void (*)(int port, unsigned char* picture, int size, int width, int height, int stamp,
                                 int type, void* user, int reserved);
using DrawCallback = void (*)(void* dc, void* user);

struct OutputRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// One output rectangle of the picture and the window it is drawn into.
struct DisplayRegion {
    OutputRect source;
    void* window = nullptr;
    bool enabled = false;
};

// The display wishes and callbacks a renderer is made with.
struct RendererSettings {
    int port = 0;
    DisplayCallback display_callback = nullptr;
    void* display_user = nullptr;
    DrawCallback draw_callback = nullptr;
    void* draw_user = nullptr;
    std::array<DisplayRegion, 4> regions{};
};

class RgbVideoOutput;

// Display capability bits reported by Pellix_GetCaps for the renderer in use: the renderer
// exists and converts packed 4:2:2 pictures, shrinking or stretching them in either
// direction, in software (no hardware blitting).
inline constexpr uint32_t kRendererCapsCreated = 0x1;
inline constexpr uint32_t kRendererCapsHardwareBlit = 0x2;
inline constexpr uint32_t kRendererCapsFourCCBlit = 0x4;
inline constexpr uint32_t kRendererCapsShrinkX = 0x8;
inline constexpr uint32_t kRendererCapsShrinkY = 0x10;
inline constexpr uint32_t kRendererCapsStretchX = 0x20;
inline constexpr uint32_t kRendererCapsStretchY = 0x40;
uint32_t RendererCaps();

// The port's video renderer wrapper: keeps the display wishes and callbacks of the port
// and hands them to the renderer made for each Play. UI thread, except Draw (see
// RgbVideoOutput).
class VideoOutputWrapper final : public Component {
public:
    static constexpr uint32_t kDefaultColorKey = 0x00FF00FF;

    explicit VideoOutputWrapper(int port);
    ~VideoOutputWrapper() override;

    ComponentKind Kind() const override { return ComponentKind::VideoRenderer; }
    const char* DisplayName() const override { return "Video Renderer Wrapper"; }
    // The port whose pictures the display callback receives.
    int Port() const { return port_; }

    void SetOverlay(bool overlay, uint32_t color_key) {
        overlay_ = overlay;
        color_key_ = color_key;
    }
    bool Overlay() const { return overlay_; }
    // The renderer in use keeps no colour key.
    uint32_t ColorKey() const { return 0; }
    uint32_t WishedColorKey() const { return color_key_; }
    void SetMultiScreen(int flag) { multi_screen_ = flag; }
    int MultiScreen() const { return multi_screen_; }
    void SetDisplayCallback(DisplayCallback callback, void* user) {
        display_callback_ = callback;
        display_user_ = user;
        Update();
    }
    void SetDrawCallback(DrawCallback callback, void* user) {
        draw_callback_ = callback;
        draw_user_ = user;
        Update();
    }
    DisplayCallback DisplayCallbackFunction() const { return display_callback_; }
    DrawCallback DrawCallbackFunction() const { return draw_callback_; }
    // Region 0 is the main source rectangle; 1 to 3 are extra windows. False for others.
    bool SetRegion(uint32_t index, const OutputRect* rect, void* window, bool enable);
    const DisplayRegion& Region(uint32_t index) const { return regions_[index]; }

    // The renderer of one Play: made by Initialise, destroyed by Close. Without one, each
    // operation answers 0.
    bool Initialise(void* window, int width, int height);
    bool AcceptFormat(int code);
    int PreferredFormat() const;
    bool Draw(uint8_t* picture, PictureLayout layout, int flip, const InfoBlock* info);
    void Close();

private:
    RendererSettings Settings() const;
    // Hands changed wishes to the renderer in use.
    void Update();

    const int port_;
    bool overlay_ = false;
    uint32_t color_key_ = kDefaultColorKey;
    int multi_screen_ = 1;
    DisplayCallback display_callback_ = nullptr;
    void* display_user_ = nullptr;
    DrawCallback draw_callback_ = nullptr;
    void* draw_user_ = nullptr;
    std::array<DisplayRegion, 4> regions_{};
    std::unique_ptr<RgbVideoOutput> active_;
};

}  // namespace pellix
