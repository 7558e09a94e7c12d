#include "platform/Profile.h"

namespace platform {

std::uint32_t GetPrivateProfileString(const char*, const char*, const char* default_value,
                                      char* buffer, std::uint32_t size, const char*) {
  if (size == 0 || buffer == nullptr) return 0;
  std::string value = default_value ? default_value : "";
  std::uint32_t n = 0;
  for (; n + 1 < size && n < value.size(); ++n) buffer[n] = value[n];
  buffer[n] = '\0';
  return n;
}

int GetPrivateProfileInt(const char*, const char*, int default_value, const char*) {
  return default_value;
}

bool WritePrivateProfileString(const char*, const char*, const char*, const char*) { return false; }

std::string ReadProfileString(const std::string&, const std::string&, const std::string&,
                              const std::string& default_value) {
  return default_value;
}

std::vector<std::string> ProfileSectionNames(const std::string&) { return {}; }

std::vector<std::string> ProfileKeyNames(const std::string&, const std::string&) { return {}; }

void ClearProfileCache() {}

}  // namespace platform
