// Profile files: any bytes as an INI file, read through every entry point with buffers of
// several sizes, then changed by one write or delete whose effect on the rest of the file is
// checked, and read again from disk to see that the file written says what the reader kept.
// The same bytes are also read as a drive table (Drives.ini and the KORVEL_DRIVES form).

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/NameCompare.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

// A scratch folder on a memory file system where there is one: every write of a profile
// file commits it to storage, which on a disk would dominate each run.
const std::string& ScratchFile() {
  static const std::string file = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/suite-fuzz-profile-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    return std::string(name.data()) + "/Fuzz.ini";
  }();
  return file;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<size_t>(n);
  }
  close(fd);
}

// Every visible entry: first occurrence of each section and of each key within it.
Snapshot Take(const std::string& file) {
  Snapshot snapshot;
  for (const std::string& section : platform::ProfileSectionNames(file))
    for (const std::string& key : platform::ProfileKeyNames(file, section))
      snapshot[{platform::detail::FoldCase(section), platform::detail::FoldCase(key)}] =
          platform::ReadProfileString(file, section, key, "\x01missing");
  return snapshot;
}

// What a reader gets back for a value written as given: blanks around it dropped and one pair
// of matching quotes removed.
std::string AsRead(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// Names that a write cannot carry: a zero ends the C string, a line break is refused.
bool Unwritable(const std::string& text) {
  return text.find_first_of(std::string("\0\r\n", 3)) != std::string::npos;
}

// A value read into buffers of several sizes is the same value cut to the room there is.
void CheckValueBuffers(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) {
  for (uint32_t size : {1u, 2u, 7u, static_cast<uint32_t>(value.size() + 1)}) {
    std::vector<char> buffer(size, '\x7f');
    const uint32_t got = platform::GetPrivateProfileString(section.c_str(), key.c_str(), "",
                                                           buffer.data(), size, file.c_str());
    const size_t expected = std::min<size_t>(value.size(), size - 1);
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(buffer[got] == '\0');
    FUZZ_CHECK(std::memcmp(buffer.data(), value.data(), got) == 0);
  }
}

// A name list read into a small buffer is the full list cut, still ending with two zeros.
void CheckListBuffers(const std::string& file) {
  std::vector<char> full(1 << 16);
  const uint32_t whole = platform::GetPrivateProfileString(nullptr, nullptr, nullptr, full.data(),
                                                           static_cast<uint32_t>(full.size()),
                                                           file.c_str());
  FUZZ_CHECK(whole + 1 < full.size());
  FUZZ_CHECK(full[whole] == '\0');
  for (uint32_t size : {1u, 2u, 3u, 9u}) {
    std::vector<char> buffer(size, '\x7f');
    const uint32_t got = platform::GetPrivateProfileString(nullptr, nullptr, nullptr,
                                                           buffer.data(), size, file.c_str());
    if (size == 1) {
      FUZZ_CHECK(got == 0 && buffer[0] == '\0');
      continue;
    }
    if (whole + 1 <= size) {
      FUZZ_CHECK(got == whole);
      FUZZ_CHECK(std::memcmp(buffer.data(), full.data(), whole + 1) == 0);
    } else {
      FUZZ_CHECK(got == size - 2);
      FUZZ_CHECK(buffer[size - 2] == '\0' && buffer[size - 1] == '\0');
      FUZZ_CHECK(std::memcmp(buffer.data(), full.data(), size - 2) == 0);
    }
  }
}

void ReadDriveForms(const std::string& file, const uint8_t* data, size_t size) {
  if (auto table = platform::ReadDrivesIni(file)) {
    FUZZ_CHECK(!table->drives.empty());
    for (const platform::DriveMapping& drive : table->drives)
      FUZZ_CHECK(drive.letter >= 'A' && drive.letter <= 'Z' && !drive.root.empty());
  }
  if (auto table = platform::ParseDriveList(
          std::string_view(reinterpret_cast<const char*>(data), size))) {
    for (const platform::DriveMapping& drive : table->drives)
      FUZZ_CHECK(drive.letter >= 'A' && drive.letter <= 'Z' && drive.root.front() == '/');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string& file = ScratchFile();
  WriteWhole(file, data, size);
  platform::ClearProfileCache();

  const Snapshot before = Take(file);
  CheckListBuffers(file);
  int checked = 0;
  for (const auto& [names, value] : before) {
    if (Unwritable(names.first) || Unwritable(names.second) || ++checked > 8) continue;
    CheckValueBuffers(file, names.first, names.second, value);
    platform::GetPrivateProfileInt(names.first.c_str(), names.second.c_str(), -7, file.c_str());
  }
  ReadDriveForms(file, data, size);

  // The change: its kind from the first byte, its names taken from the file (or new ones), its
  // value from the last line of the input.
  const uint8_t choice = size > 0 ? data[0] : 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string value = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  value = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
  std::vector<std::pair<std::string, std::string>> known;
  for (const auto& entry : before)
    if (!Unwritable(entry.first.first) && !Unwritable(entry.first.second))
      known.push_back(entry.first);
  std::string section = "Fuzz Added";
  std::string key = "Added Key";
  if (!known.empty() && (choice & 3) != 0) {
    section = known[(choice >> 2) % known.size()].first;
    if ((choice & 3) != 1) key = known[(choice >> 2) % known.size()].second;
  }
  const bool remove_key = (choice & 0x30) == 0x10;
  const bool remove_section = (choice & 0x30) == 0x20;

  const bool written = platform::WritePrivateProfileString(
      section.c_str(), remove_section ? nullptr : key.c_str(),
      remove_key || remove_section ? nullptr : value.c_str(), file.c_str());
  FUZZ_CHECK(written);

  const Snapshot after = Take(file);
  const std::string folded_section = platform::detail::FoldCase(Trimmed(section));
  const std::string folded_key = platform::detail::FoldCase(Trimmed(key));
  // Entries of other sections, and other keys of the changed section, read as they did.
  for (const auto& [names, old_value] : before) {
    if (names.first == folded_section && (remove_section || names.second == folded_key)) continue;
    auto it = after.find(names);
    FUZZ_CHECK(it != after.end());
    FUZZ_CHECK(it->second == old_value);
  }
  if (!remove_key && !remove_section) {
    auto it = after.find({folded_section, folded_key});
    FUZZ_CHECK(it != after.end());
    FUZZ_CHECK(it->second == AsRead(value));
  }
  // What was written to disk reads back as what the reader kept in memory.
  platform::ClearProfileCache();
  FUZZ_CHECK(Take(file) == after);
  return 0;
}
