#pragma once

// Internal to the file services of libplatform: comparing names the way Windows does for
// 8-bit (GBK) text. Only ASCII letters fold; the byte after a GBK lead byte (0x81..0xFE) is a
// trail byte and is kept exact, because trail bytes reuse the ASCII letter range and folding
// them would make two different Chinese characters compare equal.

#include <string>
#include <string_view>

namespace platform::detail {

inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

inline char FoldAsciiByte(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Lower-cases ASCII letters outside GBK double-byte characters.
inline std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(folded[i])) && i + 1 < folded.size()) {
      ++i;
      continue;
    }
    folded[i] = FoldAsciiByte(folded[i]);
  }
  return folded;
}

inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  bool trail = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (trail) {
      if (a[i] != b[i]) return false;
      trail = false;
      continue;
    }
    if (FoldAsciiByte(a[i]) != FoldAsciiByte(b[i])) return false;
    trail = IsGbkLeadByte(static_cast<unsigned char>(a[i]));
  }
  return true;
}

}  // namespace platform::detail
