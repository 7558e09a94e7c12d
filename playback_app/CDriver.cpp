#include "playback_app/CDriver.h"

#include <cctype>

#include "platform/Paths.h"

namespace lumaro {

void CDriver::Build() {
  const std::string previousLetters = m_strDrivers;
  const std::uint32_t previousMask = m_dwMask;
  const int previousCurrent = m_nCurrent;
  m_strDrivers.clear();
  m_dwMask = 0;

  const std::string systemFolder = platform::SystemFolder();
  const char systemLetter =
      systemFolder.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(systemFolder[0])));
  for (const std::string& root : platform::LogicalDriveRoots()) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    if (letter == systemLetter) continue;
    if (platform::GetDriveType(root) != platform::kDriveFixed) continue;
    platform::DiskSpace space;
    if (!platform::GetDiskFreeSpace(root, space)) continue;
    if (space.free_bytes_available / (1024 * 1024) < 1) continue;
    if (m_strDrivers.size() < 32) m_strDrivers.push_back(letter);
  }
  for (std::size_t i = 0; i < m_strDrivers.size(); ++i) m_dwMask |= 1u << i;
  m_nCurrent = 0;
  if (!previousLetters.empty() && previousLetters.size() == m_strDrivers.size()) {
    m_dwMask = previousMask;
    m_nCurrent = previousCurrent;
  }
}

std::vector<char> CDriver::EnabledLetters() const {
  std::vector<char> letters;
  for (std::size_t i = 0; i < m_strDrivers.size(); ++i)
    if (m_dwMask & (1u << i)) letters.push_back(m_strDrivers[i]);
  return letters;
}

}  // namespace lumaro
