#pragma once

// The live client's readers of its theme and language INI files: the shared reader
// (common/IniReader.h) with the live client's failure messages. Each takes section, key and
// file path (Windows form or host path). Numeric keys use 10000 as the "missing" marker, so
// 10000 itself cannot be stored. A missing value shows a message box naming section, key and
// file and makes the reader fail; the message box is modal and blocks the calling
// (user-interface) thread until answered.

#include <string>

#include "common/IniReader.h"

using ini::kMaxConfigText;
using ini::kMissingNumber;
using ini::SkinColor;
using ini::SkinPoint;
using ini::SkinRect;

// "%d, %d, %d" (red, green, blue) and "%d, %d, %d, %d" (left, top, right, bottom); false when a
// number is missing.
using ini::ParseColorText;
using ini::ParseRectText;

// The integer of [section] key. On failure `value` is unchanged.
bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value);
// The text of [section] key, at most 100 characters. An empty value counts as missing; on
// failure `value` keeps its old text.
bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value);
// The rectangle of keys key_X, key_Y, key_CX, key_CY. Any of them missing fails, the message
// naming the missing key; `rect` is then unchanged.
bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect);
// The point of keys key_X and key_Y (the theme uses key "TEXTPOS").
bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point);
