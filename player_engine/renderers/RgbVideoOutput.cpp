#include "player_engine/renderers/RgbVideoOutput.h"

#include <cstring>
#include <mutex>

#include "platform/Window.h"
#include "player_engine/renderers/TextBurnIn.h"
#include "player_engine/renderers/Yuy2ToBgra.h"

namespace pellix {

namespace {
// A region rectangle is used when it lies inside the picture and is not empty; otherwise the
// whole picture is shown.
OutputRect Clip(const OutputRect& rect, bool enabled, int width, int height) {
    if (enabled && rect.left >= 0 && rect.top >= 0 && rect.right <= width && rect.bottom <= height &&
        rect.right > rect.left && rect.bottom > rect.top)
        return rect;
    return OutputRect{0, 0, width, height};
}
}  // namespace

RgbVideoOutput::RgbVideoOutput(const RendererSettings& settings) : settings_(settings) {}

RgbVideoOutput::~RgbVideoOutput() { Close(); }

bool RgbVideoOutput::Initialise(void* window, int width, int height) {
    std::lock_guard guard(lock_);
    if (window == nullptr || !platform::IsWindow(window) || width <= 0 || height <= 0 || width > 8192 ||
        height > 8192)
        return false;
    bgra_.assign(static_cast<size_t>(width) * height * 4, 0);
    window_ = window;
    width_ = width;
    height_ = height;
    format_code_ = kFormatScreen32;
    return true;
}

bool RgbVideoOutput::AcceptFormat(int code) {
    (void)code;
    std::lock_guard guard(lock_);
    if (window_ == nullptr) return false;
    format_code_ = kPictureFormatYuy2;
    return true;
}

void RgbVideoOutput::SetSettings(const RendererSettings& settings) {
    std::lock_guard guard(lock_);
    settings_ = settings;
}

void RgbVideoOutput::Convert(const uint8_t* picture, bool flip) {
    const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(width_) * 2;
    if (flip) {
        // Rows stored bottom-up: start at the last row and walk backwards.
        Yuy2ToBgra(picture + (height_ - 1) * row_bytes, -row_bytes, width_, height_, bgra_.data(), width_ * 4);
    } else {
        Yuy2ToBgra(picture, row_bytes, width_, height_, bgra_.data(), width_ * 4);
    }
}

void RgbVideoOutput::PresentRect(void* window, const OutputRect& source) {
    platform::Picture shown;
    shown.bgra = bgra_.data() + (static_cast<size_t>(source.top) * width_ + source.left) * 4;
    shown.width = source.right - source.left;
    shown.height = source.bottom - source.top;
    shown.stride_bytes = width_ * 4;
    platform::PresentPicture(window, shown);
}

bool RgbVideoOutput::Draw(uint8_t* picture, PictureLayout layout, int flip, const InfoBlock* info) {
    std::lock_guard guard(lock_);
    if (window_ == nullptr || picture == nullptr) return false;
    const bool burn_in = format_code_ > kFormatScreen32 && info != nullptr;
    bool planar = layout == PictureLayout::I420;
    if (planar && (burn_in || settings_.display_callback != nullptr)) {
        // The burn-in and the display callback see the picture as YUY2, as for every codec.
        packed_.resize(static_cast<size_t>(width_) * height_ * 2);
        PlanarToYuy2(I420Planes(picture, width_, height_), width_, height_, packed_.data(), width_ * 2);
        picture = packed_.data();
        planar = false;
        flip = 0;
    }
    if (burn_in) {
        if (flip != 0) {
            // The texts' coordinates count from the top row as shown.
            const size_t row = static_cast<size_t>(width_) * 2;
            upright_.resize(row * height_);
            for (int y = 0; y < height_; ++y) std::memcpy(&upright_[y * row], picture + (height_ - 1 - y) * row, row);
            TextBurnIn::Apply(*info, upright_.data(), width_, height_);
            for (int y = 0; y < height_; ++y) std::memcpy(picture + (height_ - 1 - y) * row, &upright_[y * row], row);
        } else {
            TextBurnIn::Apply(*info, picture, width_, height_);
        }
    }
    if (settings_.display_callback != nullptr)
        settings_.display_callback(settings_.port, picture, width_ * height_ * 2, width_, height_, 0,
                                   flip == 0 ? 1 : 0, settings_.display_user, 0);
    if (!platform::IsWindow(window_)) return false;
    if (planar)
        PlanarToBgra(I420Planes(picture, width_, height_), width_, height_, bgra_.data(), width_ * 4);
    else
        Convert(picture, flip != 0);
    const OutputRect main = Clip(settings_.regions[0].source, settings_.regions[0].enabled, width_, height_);
    if (settings_.draw_callback != nullptr) {
        // The callback draws on a copy, so the regions below still show the bare picture.
        canvas_ = bgra_;
        canvas_.swap(bgra_);
        DrawCanvas canvas{bgra_.data(), width_, height_, width_ * 4};
        settings_.draw_callback(&canvas, settings_.draw_user);
        PresentRect(window_, main);
        canvas_.swap(bgra_);
    } else {
        PresentRect(window_, main);
    }
    for (size_t index = 1; index < settings_.regions.size(); ++index) {
        const DisplayRegion& region = settings_.regions[index];
        if (!region.enabled || region.window == nullptr || !platform::IsWindow(region.window)) continue;
        PresentRect(region.window, Clip(region.source, true, width_, height_));
    }
    return true;
}

void RgbVideoOutput::Close() {
    std::lock_guard guard(lock_);
    window_ = nullptr;
    bgra_.clear();
    canvas_.clear();
    packed_.clear();
    upright_.clear();
    format_code_ = 0;
}

}  // namespace pellix
