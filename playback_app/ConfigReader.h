#pragma once

// Readers of the theme, language and settings files of the playback program. A missing value
// shows a message box naming section, key and file, leaves the caller's value unchanged and
// makes the reader fail. Integers use 10000 as the "missing" marker, so 10000 itself cannot
// be stored. User-interface thread (the message box is modal).

#include <string>

namespace lumaro {

inline constexpr int kMissingNumber = 10000;
inline constexpr int kMaxConfigText = 100;

struct SkinRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  bool operator==(const SkinRect&) const = default;
};

struct SkinPoint {
  int x = 0;
  int y = 0;
  bool operator==(const SkinPoint&) const = default;
};

struct SkinColor {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const SkinColor&) const = default;
};

// Text of [section] key, at most 100 characters; an empty value counts as missing.
bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value);
bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value);
// Keys key_X, key_Y, key_CX, key_CY.
bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect);
// Keys key_X and key_Y (the theme uses "TEXTPOS").
bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point);
// A colour "r, g, b" read as a string; the string reader's message when missing or unparsable.
bool ReadConfigColor(const std::string& section, const std::string& key, const std::string& path,
                     SkinColor& color);
// Four numbers "l, t, r, b" (rectangle) or two "x, y" (point) read as a string.
bool ReadConfigRect(const std::string& section, const std::string& key, const std::string& path,
                    int (&values)[4]);
bool ReadConfigPoint(const std::string& section, const std::string& key, const std::string& path,
                     SkinPoint& point);

// Parses up to `count` comma-separated numbers; false when fewer are found.
bool ParseNumbers(const std::string& text, int* values, int count);

}  // namespace lumaro
