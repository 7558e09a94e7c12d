#include "live_client/skin/SkinReader.h"

#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"
#include "platform/Profile.h"

namespace {

void ShowReadFailure(const char* format, const std::string& section, const std::string& key,
                     const std::string& path) {
  const int length = std::snprintf(nullptr, 0, format, section.c_str(), key.c_str(), path.c_str());
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, section.c_str(), key.c_str(), path.c_str());
  platform::MessageBox(nullptr, text, "Korvel", platform::MB_OK | platform::MB_ICONERROR);
}

int ReadNumber(const std::string& section, const std::string& key, const std::string& path) {
  return platform::GetPrivateProfileInt(section.c_str(), key.c_str(), kMissingNumber, path.c_str());
}

// Reads the numbers of a comma-separated list into `values`; false when fewer are found.
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

}  // namespace

bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value) {
  const int read = ReadNumber(section, key, path);
  if (read == kMissingNumber) {
    ShowReadFailure("ReadConfigInt - [SEC: %s - KEY:%s] : [PATH: %s] : READ CFG INT FAIL", section,
                    key, path);
    return false;
  }
  value = read;
  return true;
}

bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value) {
  char buffer[kMaxConfigText + 1];
  const auto length = platform::GetPrivateProfileString(section.c_str(), key.c_str(), "", buffer,
                                                        sizeof buffer, path.c_str());
  if (length == 0) {
    ShowReadFailure("ReadConfigString - [SEC: %s - KEY:%s] : [PATH: %s] : READ CFG STRING FAIL.",
                    section, key, path);
    return false;
  }
  value.assign(buffer, length);
  return true;
}

bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect) {
  static const char* const kSuffixes[4] = {"_X", "_Y", "_CX", "_CY"};
  int values[4];
  for (int i = 0; i < 4; ++i) {
    const std::string name = key + kSuffixes[i];
    values[i] = ReadNumber(section, name, path);
    if (values[i] == kMissingNumber) {
      ShowReadFailure("ReadPostion - [SEC: %s - KEY:%s] : [PATH: %s] : READ POS FAIL", section, name,
                      path);
      return false;
    }
  }
  rect = SkinRect{values[0], values[1], values[2], values[3]};
  return true;
}

bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point) {
  const std::string nameX = key + "_X";
  const std::string nameY = key + "_Y";
  const int x = ReadNumber(section, nameX, path);
  const int y = ReadNumber(section, nameY, path);
  if (x == kMissingNumber || y == kMissingNumber) {
    ShowReadFailure("ReadTextPos - [SEC: %s - KEY:%s] : [PATH: %s] : READ TEXT POS FAIL", section,
                    x == kMissingNumber ? nameX : nameY, path);
    return false;
  }
  point = SkinPoint{x, y};
  return true;
}

bool ParseColorText(const std::string& text, SkinColor& color) {
  int values[3];
  if (!ParseNumbers(text, values, 3)) return false;
  color = SkinColor{values[0], values[1], values[2]};
  return true;
}

bool ParseRectText(const std::string& text, int (&values)[4]) {
  int read[4];
  if (!ParseNumbers(text, read, 4)) return false;
  for (int i = 0; i < 4; ++i) values[i] = read[i];
  return true;
}
