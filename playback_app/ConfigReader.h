#pragma once

// The playback program's readers of its theme, language and settings files: the shared reader
// (common/IniReader.h) with the playback program's failure messages. A missing value shows a
// message box naming section, key and file, leaves the caller's value unchanged and makes the
// reader fail. Integers use 10000 as the "missing" marker, so 10000 itself cannot be stored.
// User-interface thread (the message box is modal).

#include <string>

#include "common/IniReader.h"

namespace lumaro {

using ini::kMaxConfigText;
using ini::kMissingNumber;
using ini::SkinColor;
using ini::SkinPoint;
using ini::SkinRect;

// Parses up to `count` comma-separated numbers; false when fewer are found.
using ini::ParseNumbers;

// Text of [section] key, at most 100 characters; an empty value counts as missing.
bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value);
bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value);
// Keys key_X, key_Y, key_CX, key_CY; the message names the key as asked.
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

}  // namespace lumaro
