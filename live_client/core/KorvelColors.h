#pragma once

// Colours of the live client's own drawing, as 0x00BBGGRR colour references.

#include <QColor>
#include <cstdint>

namespace korvel {

inline constexpr std::uint32_t kFrameColor = 0x96AA8C;          // video window frame
inline constexpr std::uint32_t kSelectedFrameColor = 0xFFFF00;  // frame of the selected window
inline constexpr std::uint32_t kVideoFillColor = 0x634139;      // inside a video window's frame
inline constexpr std::uint32_t kSurfaceIdleColor = 0x358028;    // drawing surface without video
inline constexpr std::uint32_t kTreeBackColor = 0xD5D5D5;       // camera tree background
inline constexpr std::uint32_t kAlertTextColor = 0x0000FF;      // red status text
inline constexpr std::uint32_t kNormalTextColor = 0xFFFFFF;     // white status text

inline QColor ColorRef(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace korvel
