#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace suite::test {

TempFolder::TempFolder(const std::string& tag) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/" + tag + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create a folder from " + pattern);
  path_ = buffer.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace suite::test
