#include "playback_app/CommandLine.h"

#include <cstdlib>

namespace lumaro {

namespace {

void SplitItem(std::string_view item, std::string_view& key, std::string_view& value) {
  const std::size_t equals = item.find('=');
  key = item.substr(0, equals);
  value = equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
}

}  // namespace

CommandLine ParseCommandLine(std::string_view arguments) {
  CommandLine result;
  if (arguments.empty()) return result;
  const std::size_t blank = arguments.rfind(' ');
  const std::string_view first = blank == std::string_view::npos ? arguments : arguments.substr(0, blank);
  const std::string_view second = blank == std::string_view::npos ? std::string_view() : arguments.substr(blank + 1);

  std::string_view key, value;
  SplitItem(first, key, value);
  if (key == "-pri" && !value.empty() && value.back() == '\\') result.strPicturePath = std::string(value);

  SplitItem(second, key, value);
  if (key == "-s") result.nS = std::atoi(std::string(value).c_str());
  return result;
}

}  // namespace lumaro
