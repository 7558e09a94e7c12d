#include "platform/RuntimeFiles.h"

#include "platform/Process.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool UsableOwnFolder(const std::string& folder) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return false;
  // Another user's folder (or a link planted in /tmp) would let them see or take our names.
  return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && access(folder.c_str(), W_OK) == 0;
}

}  // namespace

std::string RuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    std::string folder(runtime);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (UsableOwnFolder(folder)) return folder;
  }
  std::string folder = "/tmp/korvel-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return UsableOwnFolder(folder) ? folder : std::string();
}

namespace runtime_files {

std::string EncodeName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-';
    // A leading dot would hide the file and "." or ".." would name a folder.
    if (plain && !(c == '.' && encoded.empty())) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  // Socket paths are limited to 107 bytes; keep the name well inside with room for the folder.
  constexpr std::size_t kMaxEncoded = 48;
  if (encoded.size() > kMaxEncoded) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    encoded.resize(kMaxEncoded - 17);
    encoded += tail;
  }
  return encoded;
}

std::string PathFor(std::string_view prefix, std::string_view name, std::string_view suffix) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return {};
  std::string path = folder;
  path += '/';
  path += prefix;
  path += EncodeName(name);
  path += suffix;
  return path;
}

}  // namespace runtime_files
}  // namespace platform
