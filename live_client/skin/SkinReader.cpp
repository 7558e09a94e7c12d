#include "live_client/skin/SkinReader.h"

namespace {

constexpr ini::ReadFailureTexts kFailureTexts{
    .caption = "Korvel",
    .intFailure = "ReadConfigInt - [SEC: %s - KEY:%s] : [PATH: %s] : READ CFG INT FAIL",
    .stringFailure = "ReadConfigString - [SEC: %s - KEY:%s] : [PATH: %s] : READ CFG STRING FAIL.",
    .positionFailure = "ReadPostion - [SEC: %s - KEY:%s] : [PATH: %s] : READ POS FAIL",
    .textPosFailure = "ReadTextPos - [SEC: %s - KEY:%s] : [PATH: %s] : READ TEXT POS FAIL",
    .nameSuffixedKey = true,
};

constexpr ini::Reader kReader(kFailureTexts);

}  // namespace

bool ReadConfigInt(const std::string& section, const std::string& key, const std::string& path,
                   int& value) {
  return kReader.ReadInt(section, key, path, value);
}

bool ReadConfigString(const std::string& section, const std::string& key, const std::string& path,
                      std::string& value) {
  return kReader.ReadString(section, key, path, value);
}

bool ReadPostion(const std::string& section, const std::string& key, const std::string& path,
                 SkinRect& rect) {
  return kReader.ReadPosition(section, key, path, rect);
}

bool ReadTextPos(const std::string& section, const std::string& key, const std::string& path,
                 SkinPoint& point) {
  return kReader.ReadTextPos(section, key, path, point);
}
