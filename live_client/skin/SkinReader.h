#pragma once

// Readers of the theme and language INI files. Each takes section, key and file path (Windows
// form or host path). Numeric keys use 10000 as the "missing" marker, so 10000 itself cannot be
// stored. A missing value shows a message box naming section, key and file and makes the reader
// fail; the message box is modal and blocks the calling (user-interface) thread until answered.

#include <string>

// The value every numeric reader takes for "not in the file".
inline constexpr int kMissingNumber = 10000;
// Longest text a string reader returns.
inline constexpr int kMaxConfigText = 100;

// A control's rectangle in dialog client coordinates: keys K_X, K_Y, K_CX, K_CY.
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

// The integer of [section] key. On failure `value` is unchanged.
bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value);
// The text of [section] key, at most 100 characters. An empty value counts as missing; on
// failure `value` keeps its old text.
bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value);
// The rectangle of keys key_X, key_Y, key_CX, key_CY. Any of them missing fails; `rect` is then
// unchanged.
bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect);
// The point of keys key_X and key_Y (the theme uses key "TEXTPOS").
bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point);

// Parses "%d, %d, %d" (red, green, blue) or "%d, %d, %d, %d" (left, top, right, bottom).
// False when a number is missing.
bool ParseColorText(const std::string& text, SkinColor& color);
bool ParseRectText(const std::string& text, int (&values)[4]);
