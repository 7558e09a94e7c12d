#pragma once

// Profile (INI) files with the semantics the system's settings and index files rely on.
//
// - Files are 8-bit text (GBK allowed); values come back byte for byte.
// - Section and key names compare without ASCII case; when a name occurs twice, the first
//   occurrence wins for reading and writing.
// - Names and values are trimmed of spaces and tabs; a value written is stored as given.
// - A missing file, section or key reads as the default.
// - Every write replaces the whole file atomically (temporary file in the same folder, then
//   rename): a reader in another thread or process sees the old or the new file, never half a
//   file, and a crash never leaves a half-written index. Other lines (comments, unknown
//   entries) keep their text and order. Lines are written with "\r\n"; "\n" is accepted.
// - Writers in one process are serialised; a parsed copy of each file is kept, keyed by path
//   and the file's identity (inode, size, modification time), so a section of thousands of keys
//   is not parsed again for every write.
//
// `file` is a Windows-form or host path (see platform/Paths.h). A file name without any
// folder lies in the Windows folder (WindowsFolder() of platform/Paths.h).
// All functions may be called from any thread.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Copies the value of [section] key into `buffer` (at most `size` bytes including the
// terminating zero) and returns the number of characters copied without the zero. A value
// too long is cut and the result is size - 1. A missing value copies `default_value` (null
// reads as "", trailing spaces of the default are dropped).
// With `key` null: the names of all keys of the section; with `section` null: the names of
// all sections, each name once (first occurrence, as written). Lists are zero-separated and
// end with two zeros; the result counts the names and their separating zeros, not the final
// one. When the list does not fit, the last name that fits only partly is cut, the buffer
// still ends with two zeros and the result is size - 2. `buffer` must not be null unless
// `size` is 0 (which returns 0).
std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* default_value, char* buffer,
                                      std::uint32_t size, const char* file);

// Integer value of [section] key: optional spaces, an optional sign and decimal digits;
// parsing stops at the first other character (a value such as "abc" reads as 0). A missing
// or empty value returns `default_value`.
int GetPrivateProfileInt(const char* section, const char* key, int default_value,
                         const char* file);

// Sets [section] key = value, creating the file, section or key as needed (a new key goes at
// the end of its section, a new section at the end of the file). A null `value` deletes the
// key; a null `key` deletes the whole section. Returns false when the file cannot be written
// (the old file is then left unchanged) or when `section` is null.
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file);

// Convenience forms for C++ callers, same rules.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& default_value = "");
std::vector<std::string> ProfileSectionNames(const std::string& file);
std::vector<std::string> ProfileKeyNames(const std::string& file, const std::string& section);

// Drops every parsed copy kept in memory (the next access reads the files again).
void ClearProfileCache();

}  // namespace platform
