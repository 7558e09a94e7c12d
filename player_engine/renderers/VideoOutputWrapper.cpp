#include "player_engine/renderers/VideoOutputWrapper.h"

#include "player_engine/renderers/RgbVideoOutput.h"

namespace pellix {

uint32_t RendererCaps() {
    return kRendererCapsCreated | kRendererCapsFourCCBlit | kRendererCapsShrinkX | kRendererCapsShrinkY |
           kRendererCapsStretchX | kRendererCapsStretchY;
}

VideoOutputWrapper::VideoOutputWrapper(int port) : port_(port) {}

VideoOutputWrapper::~VideoOutputWrapper() { Close(); }

RendererSettings VideoOutputWrapper::Settings() const {
    RendererSettings settings;
    settings.port = port_;
    settings.display_callback = display_callback_;
    settings.display_user = display_user_;
    settings.draw_callback = draw_callback_;
    settings.draw_user = draw_user_;
    settings.regions = regions_;
    return settings;
}

void VideoOutputWrapper::Update() {
    if (active_) active_->SetSettings(Settings());
}

bool VideoOutputWrapper::SetRegion(uint32_t index, const OutputRect* rect, void* window, bool enable) {
    if (index >= regions_.size()) return false;
    DisplayRegion& region = regions_[index];
    if (index == 0) {
        region.source = rect != nullptr ? *rect : OutputRect{};
        region.enabled = rect != nullptr;
    } else if (!enable) {
        region.enabled = false;
    } else {
        region.source = rect != nullptr ? *rect : OutputRect{};
        region.window = window;
        region.enabled = true;
    }
    Update();
    return true;
}

bool VideoOutputWrapper::Initialise(void* window, int width, int height) {
    Close();
    auto renderer = std::make_unique<RgbVideoOutput>(Settings());
    if (!renderer->Initialise(window, width, height)) return false;
    active_ = std::move(renderer);
    return true;
}

bool VideoOutputWrapper::AcceptFormat(int code) { return active_ && active_->AcceptFormat(code); }

int VideoOutputWrapper::PreferredFormat() const { return active_ ? active_->PreferredFormat() : 0; }

bool VideoOutputWrapper::Draw(uint8_t* picture, PictureLayout layout, int flip, const InfoBlock* info) {
    return active_ && active_->Draw(picture, layout, flip, info);
}

void VideoOutputWrapper::Close() {
    if (active_) active_->Close();
    active_.reset();
}

}  // namespace pellix
