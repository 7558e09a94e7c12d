#include "playback_app/ConfigReader.h"

#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"
#include "platform/Profile.h"

namespace lumaro {

namespace {

// The full-width colon and the Chinese "reading the configuration failed" are code page 936.
constexpr const char* kStringFailure =
    "ReadConfigString - [SEC: %s - KEY:%s] : [PATH: %s]\xA3\xBAREAD CFG STRING FAIL";
constexpr const char* kIntFailure =
    "ReadConfigInt - [SEC: %s - KEY:%s] : [PATH: %s]\xA3\xBA\xB6\xC1\xC8\xA1\xC5\xE4\xD6\xC3\xCA\xA7\xB0\xDC";
constexpr const char* kPositionFailure = "ReadPostion - [SEC: %s - KEY:%s] : [PATH: %s] : READ POS FAIL";
constexpr const char* kTextPosFailure =
    "ReadTextPos - [SEC: %s - KEY:%s] : [PATH: %s] : READ TEXT POS FAIL";

void ShowReadFailure(const char* format, const std::string& section, const std::string& key,
                     const std::string& path) {
  const int length = std::snprintf(nullptr, 0, format, section.c_str(), key.c_str(), path.c_str());
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, section.c_str(), key.c_str(), path.c_str());
  platform::MessageBox(nullptr, text, "Lumaro", platform::MB_OK | platform::MB_ICONERROR);
}

int ReadNumber(const std::string& section, const std::string& key, const std::string& path) {
  return platform::GetPrivateProfileInt(section.c_str(), key.c_str(), kMissingNumber, path.c_str());
}

bool ReadText(const std::string& section, const std::string& key, const std::string& path,
              std::string& value) {
  char buffer[kMaxConfigText + 1];
  const auto length = platform::GetPrivateProfileString(section.c_str(), key.c_str(), "", buffer,
                                                        sizeof buffer, path.c_str());
  if (length == 0) return false;
  value.assign(buffer, length);
  return true;
}

}  // namespace

bool ParseNumbers(const std::string& text, int* values, int count) {
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

bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value) {
  if (ReadText(section, key, path, value)) return true;
  ShowReadFailure(kStringFailure, section, key, path);
  return false;
}

bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value) {
  const int read = ReadNumber(section, key, path);
  if (read == kMissingNumber) {
    ShowReadFailure(kIntFailure, section, key, path);
    return false;
  }
  value = read;
  return true;
}

bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect) {
  static const char* const kSuffixes[4] = {"_X", "_Y", "_CX", "_CY"};
  int values[4];
  for (int i = 0; i < 4; ++i) {
    values[i] = ReadNumber(section, key + kSuffixes[i], path);
    if (values[i] == kMissingNumber) {
      ShowReadFailure(kPositionFailure, section, key, path);
      return false;
    }
  }
  rect = SkinRect{values[0], values[1], values[2], values[3]};
  return true;
}

bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point) {
  const int x = ReadNumber(section, key + "_X", path);
  const int y = ReadNumber(section, key + "_Y", path);
  if (x == kMissingNumber || y == kMissingNumber) {
    ShowReadFailure(kTextPosFailure, section, key, path);
    return false;
  }
  point = SkinPoint{x, y};
  return true;
}

bool ReadConfigColor(const std::string& section, const std::string& key, const std::string& path,
                     SkinColor& color) {
  std::string text;
  int values[3];
  if (!ReadText(section, key, path, text) || !ParseNumbers(text, values, 3)) {
    ShowReadFailure(kStringFailure, section, key, path);
    return false;
  }
  color = SkinColor{values[0], values[1], values[2]};
  return true;
}

bool ReadConfigRect(const std::string& section, const std::string& key, const std::string& path,
                    int (&values)[4]) {
  std::string text;
  int read[4];
  if (!ReadText(section, key, path, text) || !ParseNumbers(text, read, 4)) {
    ShowReadFailure(kStringFailure, section, key, path);
    return false;
  }
  for (int i = 0; i < 4; ++i) values[i] = read[i];
  return true;
}

bool ReadConfigPoint(const std::string& section, const std::string& key, const std::string& path,
                     SkinPoint& point) {
  std::string text;
  int read[2];
  if (!ReadText(section, key, path, text) || !ParseNumbers(text, read, 2)) {
    ShowReadFailure(kStringFailure, section, key, path);
    return false;
  }
  point = SkinPoint{read[0], read[1]};
  return true;
}

}  // namespace lumaro
