#pragma once

// The searchable drive list: the fixed drives other than the one holding the system folder,
// with at least one whole megabyte free for the user, in the order the system lists them.

#include <cstdint>
#include <string>
#include <vector>

namespace lumaro {

class CDriver {
 public:
  // Builds the list from the platform's drive table. A rebuild that finds as many drives as
  // before keeps the previous mask and current index.
  void Build();

  bool IsEmpty() const { return m_strDrivers.empty(); }
  // The letters whose mask bit is set, in list order.
  std::vector<char> EnabledLetters() const;

  std::string m_strDrivers;    // drive letters in the system's order
  std::uint32_t m_dwMask = 0;  // bit i: the i-th letter is searched
  int m_nCurrent = 0;          // index of the current letter
};

}  // namespace lumaro
