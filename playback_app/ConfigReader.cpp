#include "playback_app/ConfigReader.h"

namespace lumaro {

namespace {

// The full-width colon and the Chinese "reading the configuration failed" are code page 936.
constexpr ini::ReadFailureTexts kFailureTexts{
    .caption = "Lumaro",
    .intFailure = "ReadConfigInt - [SEC: %s - KEY:%s] : [PATH: "
                  "%s]\xA3\xBA\xB6\xC1\xC8\xA1\xC5\xE4\xD6\xC3\xCA\xA7\xB0\xDC",
    .stringFailure = "ReadConfigString - [SEC: %s - KEY:%s] : [PATH: %s]\xA3\xBAREAD CFG STRING FAIL",
    .positionFailure = "ReadPostion - [SEC: %s - KEY:%s] : [PATH: %s] : READ POS FAIL",
    .textPosFailure = "ReadTextPos - [SEC: %s - KEY:%s] : [PATH: %s] : READ TEXT POS FAIL",
    .nameSuffixedKey = false,
};

constexpr ini::Reader kReader(kFailureTexts);

}  // namespace

bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value) {
  return kReader.ReadString(section, key, path, value);
}

bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value) {
  return kReader.ReadInt(section, key, path, value);
}

bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect) {
  return kReader.ReadPosition(section, key, path, rect);
}

bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point) {
  return kReader.ReadTextPos(section, key, path, point);
}

bool ReadConfigColor(const std::string& section, const std::string& key, const std::string& path,
                     SkinColor& color) {
  return kReader.ReadColor(section, key, path, color);
}

bool ReadConfigRect(const std::string& section, const std::string& key, const std::string& path,
                    int (&values)[4]) {
  return kReader.ReadRect(section, key, path, values);
}

bool ReadConfigPoint(const std::string& section, const std::string& key, const std::string& path,
                     SkinPoint& point) {
  return kReader.ReadPoint(section, key, path, point);
}

}  // namespace lumaro
