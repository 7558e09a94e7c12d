#include "player_engine/renderers/VideoOutputWrapper.h"

namespace pellix {

uint32_t RendererCaps() {
    return kRendererCapsCreated | kRendererCapsFourCCBlit | kRendererCapsShrinkX | kRendererCapsShrinkY |
           kRendererCapsStretchX | kRendererCapsStretchY;
}

bool VideoOutputWrapper::SetRegion(uint32_t index, const OutputRect* rect, void* window, bool enable) {
    if (index >= regions_.size()) return false;
    DisplayRegion& region = regions_[index];
    if (index == 0) {
        region.source = rect != nullptr ? *rect : OutputRect{};
        region.enabled = rect != nullptr;
        return true;
    }
    if (!enable) {
        region.enabled = false;
        return true;
    }
    region.source = rect != nullptr ? *rect : OutputRect{};
    region.window = window;
    region.enabled = true;
    return true;
}

}  // namespace pellix
