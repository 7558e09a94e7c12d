#pragma once

// Formats a language text that carries printf conversions ("Window %d", "%s: %d", ...) with
// typed arguments. Language files are data: a text whose conversions do not match the
// arguments must not crash the client, so only %d %i %u %x %X %s %c and %% with flags, width and
// precision are understood; a number given for %s is written as a number, a text given for %d
// as 0, a missing argument as nothing, an unknown conversion as it stands. A conversion whose
// width or precision passes kMaxFieldWidth is written as it stands too.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

using TextArgument = std::variant<long long, std::string>;

inline constexpr std::size_t kMaxFieldWidth = 100;

std::string FormatText(std::string_view format, std::initializer_list<TextArgument> arguments);
