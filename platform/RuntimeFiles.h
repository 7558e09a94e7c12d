#pragma once

// Internal to the platform's UI services: names of per-user runtime files (lock files,
// titled-window sockets) in RuntimeFolder().

#include <string>
#include <string_view>

namespace platform::runtime_files {

// A name made safe as one path component and short enough for a socket path: letters, digits,
// '.', '_' and '-' stay, every other byte becomes %XX; a long result is cut and ends with a
// hash of the whole name, so different names stay different.
std::string EncodeName(std::string_view name);

// RuntimeFolder() + "/" + prefix + EncodeName(name) + suffix; empty when there is no usable
// runtime folder.
std::string PathFor(std::string_view prefix, std::string_view name, std::string_view suffix);

}  // namespace platform::runtime_files
