#pragma once

// The reader of the programs' theme, language and settings INI files, shared by both programs.
// Each read takes section, key and file path (Windows form or host path). Numeric keys use
// 10000 as the "missing" marker, so 10000 itself cannot be stored. A missing value shows a
// message box naming section, key and file, leaves the caller's value unchanged and makes the
// read fail; the message box is modal and blocks the calling (user-interface) thread until
// answered. The texts of those message boxes belong to each program (ReadFailureTexts).
//
// Kept in this header so that every target compiling a program's reader gets it whole.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/MessageBox.h"
#include "platform/Profile.h"

namespace ini {

// The value every numeric read takes for "not in the file".
inline constexpr int kMissingNumber = 10000;
// Longest text a string read returns.
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

// What a program shows when a value is missing. Each format takes, in order, the section, the
// key and the path as "%s".
struct ReadFailureTexts {
  const char* caption;
  const char* intFailure;
  const char* stringFailure;  // also for colours, rectangles and points written as text
  const char* positionFailure;
  const char* textPosFailure;
  // True: the position messages name the missing key with its suffix ("POSITION_CX");
  // false: the key as asked ("POSITION").
  bool nameSuffixedKey;
};

// Reads the numbers of a comma-separated list into `values`; false when fewer than `count` are
// found (`values` may then be partly written).
inline bool ParseNumbers(const std::string& text, int* values, int count) {
  const char* cursor = text.c_str();
  for (int i = 0; i < count; ++i) {
    while (*cursor == ' ' || *cursor == '\t' || (i > 0 && *cursor == ',')) ++cursor;
    char* end = nullptr;
    const long value = std::strtol(cursor, &end, 10);
    if (end == cursor) return false;
    values[i] = static_cast<int>(value);
    cursor = end;
  }
  return true;
}

// Parses "%d, %d, %d" (red, green, blue) or "%d, %d, %d, %d" (left, top, right, bottom).
// False when a number is missing; the output is then unchanged.
inline bool ParseColorText(const std::string& text, SkinColor& color) {
  int values[3];
  if (!ParseNumbers(text, values, 3)) return false;
  color = SkinColor{values[0], values[1], values[2]};
  return true;
}

inline bool ParseRectText(const std::string& text, int (&values)[4]) {
  int read[4];
  if (!ParseNumbers(text, read, 4)) return false;
  for (int i = 0; i < 4; ++i) values[i] = read[i];
  return true;
}

// One program's reader: the reads with that program's failure texts. The texts must outlive
// the reader (they are the program's constants).
class Reader {
 public:
  explicit constexpr Reader(const ReadFailureTexts& texts) : texts_(texts) {}

  // The integer of [section] key.
  bool ReadInt(const std::string& section, const std::string& key, const std::string& path,
               int& value) const {
    const int read = ReadNumber(section, key, path);
    if (read == kMissingNumber) {
      ShowFailure(texts_.intFailure, section, key, path);
      return false;
    }
    value = read;
    return true;
  }

  // The text of [section] key, at most kMaxConfigText characters; an empty value counts as
  // missing.
  bool ReadString(const std::string& section, const std::string& key, const std::string& path,
                  std::string& value) const {
    if (ReadText(section, key, path, value)) return true;
    ShowFailure(texts_.stringFailure, section, key, path);
    return false;
  }

  // The rectangle of keys key_X, key_Y, key_CX, key_CY; any of them missing fails.
  bool ReadPosition(const std::string& section, const std::string& key, const std::string& path,
                    SkinRect& rect) const {
    static const char* const kSuffixes[4] = {"_X", "_Y", "_CX", "_CY"};
    int values[4];
    for (int i = 0; i < 4; ++i) {
      const std::string name = key + kSuffixes[i];
      values[i] = ReadNumber(section, name, path);
      if (values[i] == kMissingNumber) {
        ShowFailure(texts_.positionFailure, section, texts_.nameSuffixedKey ? name : key, path);
        return false;
      }
    }
    rect = SkinRect{values[0], values[1], values[2], values[3]};
    return true;
  }

  // The point of keys key_X and key_Y (the themes use key "TEXTPOS").
  bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                   SkinPoint& point) const {
    const std::string nameX = key + "_X";
    const std::string nameY = key + "_Y";
    const int x = ReadNumber(section, nameX, path);
    const int y = ReadNumber(section, nameY, path);
    if (x == kMissingNumber || y == kMissingNumber) {
      const std::string& missing = x == kMissingNumber ? nameX : nameY;
      ShowFailure(texts_.textPosFailure, section, texts_.nameSuffixedKey ? missing : key, path);
      return false;
    }
    point = SkinPoint{x, y};
    return true;
  }

  // A colour "r, g, b", a rectangle "l, t, r, b" or a point "x, y" written as one text; missing
  // or unparsable gives the string read's message.
  bool ReadColor(const std::string& section, const std::string& key, const std::string& path,
                 SkinColor& color) const {
    int values[3];
    if (!ReadNumberList(section, key, path, values, 3)) return false;
    color = SkinColor{values[0], values[1], values[2]};
    return true;
  }

  bool ReadRect(const std::string& section, const std::string& key, const std::string& path,
                int (&values)[4]) const {
    int read[4];
    if (!ReadNumberList(section, key, path, read, 4)) return false;
    for (int i = 0; i < 4; ++i) values[i] = read[i];
    return true;
  }

  bool ReadPoint(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point) const {
    int read[2];
    if (!ReadNumberList(section, key, path, read, 2)) return false;
    point = SkinPoint{read[0], read[1]};
    return true;
  }

 private:
  static int ReadNumber(const std::string& section, const std::string& key,
                        const std::string& path) {
    return platform::GetPrivateProfileInt(section.c_str(), key.c_str(), kMissingNumber,
                                          path.c_str());
  }

  static bool ReadText(const std::string& section, const std::string& key,
                       const std::string& path, std::string& value) {
    char buffer[kMaxConfigText + 1];
    const auto length = platform::GetPrivateProfileString(section.c_str(), key.c_str(), "", buffer,
                                                          sizeof buffer, path.c_str());
    if (length == 0) return false;
    value.assign(buffer, length);
    return true;
  }

  bool ReadNumberList(const std::string& section, const std::string& key, const std::string& path,
                      int* values, int count) const {
    std::string text;
    if (ReadText(section, key, path, text) && ParseNumbers(text, values, count)) return true;
    ShowFailure(texts_.stringFailure, section, key, path);
    return false;
  }

  void ShowFailure(const char* format, const std::string& section, const std::string& key,
                   const std::string& path) const {
    const int length =
        std::snprintf(nullptr, 0, format, section.c_str(), key.c_str(), path.c_str());
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, section.c_str(), key.c_str(),
                  path.c_str());
    platform::MessageBox(nullptr, text, texts_.caption, platform::MB_OK | platform::MB_ICONERROR);
  }

  const ReadFailureTexts& texts_;
};

}  // namespace ini
