#include "platform/Profile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "platform/Files.h"
#include "platform/NameCompare.h"
#include "platform/Paths.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// One line of a profile file, kept as written so that rewriting the file preserves it.
struct Line {
  std::string text;      // without the line end
  bool is_key = false;   // "name=value"
  std::string key;       // trimmed name as written (key lines only)
};

struct Section {
  bool has_header = false;  // false only for the lines before the first header
  std::string header;       // the header line as written
  std::string name;         // trimmed name between the brackets
  std::vector<Line> lines;
  // Folded key name -> index in `lines` of its first occurrence.
  std::unordered_map<std::string, std::size_t> first_key;

  void IndexKeys() {
    first_key.clear();
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].is_key) first_key.emplace(detail::FoldCase(lines[i].key), i);
  }

  const Line* FindKey(std::string_view key) const {
    auto it = first_key.find(detail::FoldCase(key));
    return it == first_key.end() ? nullptr : &lines[it->second];
  }
};

struct Document {
  std::vector<Section> sections;  // sections[0] holds the lines before the first header
  // Folded section name -> index in `sections` of its first occurrence.
  std::unordered_map<std::string, std::size_t> first_section;
  std::size_t text_bytes = 0;  // size of the file plus lines added since, to size the write buffer

  Document() { sections.emplace_back(); }

  void IndexSections() {
    first_section.clear();
    for (std::size_t i = 1; i < sections.size(); ++i)
      first_section.emplace(detail::FoldCase(sections[i].name), i);
  }

  Section* FindSection(std::string_view name) {
    auto it = first_section.find(detail::FoldCase(name));
    return it == first_section.end() ? nullptr : &sections[it->second];
  }
};

Line ParseKeyLine(std::string text) {
  Line line;
  const std::size_t eq = text.find('=');
  if (eq != std::string::npos) {
    line.is_key = true;
    line.key = std::string(Trim(std::string_view(text).substr(0, eq)));
  }
  line.text = std::move(text);
  return line;
}

Document Parse(std::string_view content) {
  Document doc;
  doc.text_bytes = content.size();
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
    if (end == std::string_view::npos) end = content.size();
    std::string_view raw = content.substr(pos, end - pos);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    pos = next;

    std::string_view body = Trim(raw);
    if (!body.empty() && body.front() == '[') {
      Section section;
      section.has_header = true;
      section.header = std::string(raw);
      std::string_view inner = body.substr(1);
      const std::size_t close = inner.find(']');
      if (close != std::string_view::npos) inner = inner.substr(0, close);
      section.name = std::string(Trim(inner));
      doc.sections.push_back(std::move(section));
      continue;
    }
    doc.sections.back().lines.push_back(ParseKeyLine(std::string(raw)));
  }
  for (Section& s : doc.sections) s.IndexKeys();
  doc.IndexSections();
  return doc;
}

std::string Serialise(const Document& doc) {
  std::string out;
  out.reserve(doc.text_bytes + 256);
  for (const Section& s : doc.sections) {
    if (s.has_header) {
      out += s.header;
      out += "\r\n";
    }
    for (const Line& line : s.lines) {
      out += line.text;
      out += "\r\n";
    }
  }
  return out;
}

// Value of a key line: the text after the first '=', trimmed, with one pair of matching
// quotes removed.
std::string_view ValueOf(const Line& line) {
  std::string_view value = Trim(std::string_view(line.text).substr(line.text.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

// Identity of a file on disk: a parsed copy stays valid while these are unchanged. The change
// time is left out because renaming a finished file into place updates it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t mtime_ns = 0;

  bool operator==(const FileIdentity&) const = default;

  static FileIdentity Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  }
};

struct CachedFile {
  std::string host_path;
  FileIdentity identity;
  Document doc;
};

// Parsed files and the lock that serialises every profile access of the process. A few files
// are kept: the writer of an index appends to one file at a time, and a bounded list keeps a
// scan over many date folders from holding all of them in memory.
constexpr std::size_t kCachedFiles = 16;

struct ProfileState {
  std::mutex lock;
  std::list<CachedFile> cache;  // Guarded by lock; most recently used first
};

ProfileState& State() {
  static ProfileState state;
  return state;
}

std::string HostPathOf(const char* file) {
  std::string_view name(file);
  if (name.find_first_of("\\/") == std::string_view::npos &&
      !(name.size() >= 2 && name[1] == ':'))
    return ToHostPath(WindowsFolder() + "\\" + std::string(name));
  return ToHostPath(name);
}

enum class LoadResult { Loaded, Missing, Failed };

// Finds or reads the parsed file (caller holds the state lock). The identity comes from the
// same descriptor the bytes are read from, so it always describes what was parsed.
LoadResult Load(ProfileState& state, const std::string& host_path, CachedFile*& out) {
  out = nullptr;
  const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      state.cache.remove_if([&](const CachedFile& c) { return c.host_path == host_path; });
      return LoadResult::Missing;
    }
    return LoadResult::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return LoadResult::Failed;
  }
  const FileIdentity identity = FileIdentity::Of(st);
  for (auto it = state.cache.begin(); it != state.cache.end(); ++it) {
    if (it->host_path != host_path) continue;
    if (it->identity == identity) {
      ::close(fd);
      state.cache.splice(state.cache.begin(), state.cache, it);
      out = &state.cache.front();
      return LoadResult::Loaded;
    }
    state.cache.erase(it);
    break;
  }
  std::string content;
  content.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (true) {
    if (done == content.size()) content.resize(content.size() + 4096);
    const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return LoadResult::Failed;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  content.resize(done);
  state.cache.push_front(CachedFile{host_path, identity, Parse(content)});
  if (state.cache.size() > kCachedFiles) state.cache.pop_back();
  out = &state.cache.front();
  return LoadResult::Loaded;
}

// Writes `doc` to a temporary file beside `host_path`, commits it to storage and renames it
// over the target in one step. Returns the identity of the new file, or nullopt (target
// untouched) on failure.
std::optional<FileIdentity> ReplaceAtomically(const std::string& host_path, Document& doc) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = host_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : host_path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? host_path : host_path.substr(slash + 1);
  const std::string temporary = (slash == std::string::npos ? std::string() : folder) + "." + name +
                                ".tmp-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1));
  mode_t mode = 0644;
  struct stat old {};
  if (::stat(host_path.c_str(), &old) == 0) mode = old.st_mode & 07777;

  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  const std::string text = Serialise(doc);
  doc.text_bytes = text.size();
  bool ok = ::fchmod(fd, mode) == 0;
  const char* data = text.data();
  std::size_t left = text.size();
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  ok = ok && ::fdatasync(fd) == 0;
  struct stat st {};
  ok = ok && ::fstat(fd, &st) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), host_path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return std::nullopt;
  }
  return FileIdentity::Of(st);
}

bool HasLineBreak(const char* text) {
  return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

// Copies a single value under the rule for single strings: cut to size - 1.
std::uint32_t CopyValue(std::string_view value, char* buffer, std::uint32_t size) {
  const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

// Copies names as "a\0b\0\0". When the list does not fit, the buffer receives its first
// size - 2 bytes (the last name shown is cut) followed by two zeros, and the result is
// size - 2.
std::uint32_t CopyList(const std::vector<std::string>& names, char* buffer, std::uint32_t size) {
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::string list;
  for (const std::string& name : names) {
    // An empty name, or one holding a zero byte (a damaged file), would end the list for
    // every reader at that point and hide the names after it; it cannot be asked for by
    // name either, so it is left out.
    if (name.empty() || name.find('\0') != std::string::npos) continue;
    list += name;
    list += '\0';
  }
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    if (list.empty()) buffer[1] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

std::vector<std::string> SectionNamesOf(const Document& doc) {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < doc.sections.size(); ++i) {
    auto it = doc.first_section.find(detail::FoldCase(doc.sections[i].name));
    if (it != doc.first_section.end() && it->second == i) names.push_back(doc.sections[i].name);
  }
  return names;
}

std::vector<std::string> KeyNamesOf(const Section& section) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < section.lines.size(); ++i) {
    if (!section.lines[i].is_key) continue;
    auto it = section.first_key.find(detail::FoldCase(section.lines[i].key));
    if (it != section.first_key.end() && it->second == i) names.push_back(section.lines[i].key);
  }
  return names;
}

bool IsBlank(const Line& line) { return Trim(line.text).empty(); }

// Applies one write to `doc`; false when nothing changed.
bool Apply(Document& doc, std::string_view section_name, const char* key, const char* value) {
  Section* section = doc.FindSection(section_name);
  if (key == nullptr) {
    if (section == nullptr) return false;
    const std::size_t index = static_cast<std::size_t>(section - doc.sections.data());
    doc.sections.erase(doc.sections.begin() + static_cast<std::ptrdiff_t>(index));
    doc.IndexSections();
    return true;
  }
  const std::string_view key_name = Trim(key);
  if (value == nullptr) {
    if (section == nullptr) return false;
    auto it = section->first_key.find(detail::FoldCase(key_name));
    if (it == section->first_key.end()) return false;
    section->lines.erase(section->lines.begin() + static_cast<std::ptrdiff_t>(it->second));
    // A later line with the same name, if any, becomes the visible one.
    section->IndexKeys();
    return true;
  }
  if (section == nullptr) {
    Section added;
    added.has_header = true;
    added.name = std::string(section_name);
    added.header = "[" + added.name + "]";
    doc.sections.push_back(std::move(added));
    doc.first_section.emplace(detail::FoldCase(section_name), doc.sections.size() - 1);
    section = &doc.sections.back();
  }
  auto it = section->first_key.find(detail::FoldCase(key_name));
  if (it != section->first_key.end()) {
    Line& line = section->lines[it->second];
    std::string text = line.key + "=" + value;
    if (text == line.text) return false;
    doc.text_bytes += text.size();
    line.text = std::move(text);
    return true;
  }
  // A new key goes after the last non-blank line of its section, before the blank lines that
  // separate it from the next section.
  std::size_t at = section->lines.size();
  while (at > 0 && IsBlank(section->lines[at - 1])) --at;
  Line line;
  line.is_key = true;
  line.key = std::string(key_name);
  line.text = line.key + "=" + value;
  doc.text_bytes += line.text.size() + 2;
  if (at == section->lines.size()) {
    section->lines.push_back(std::move(line));
    section->first_key.emplace(detail::FoldCase(key_name), at);
  } else {
    section->lines.insert(section->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    section->IndexKeys();
  }
  return true;
}

}  // namespace

std::uint32_t GetPrivateProfileString(const char* section, const char* key,
                                      const char* default_value, char* buffer,
                                      std::uint32_t size, const char* file) {
  if (size == 0 || buffer == nullptr) return 0;
  std::string fallback(default_value != nullptr ? default_value : "");
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  const bool list = section == nullptr || key == nullptr;
  if (file == nullptr || file[0] == '\0')
    return list ? CopyList({}, buffer, size) : CopyValue(fallback, buffer, size);

  const std::string host_path = HostPathOf(file);
  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  CachedFile* cached = nullptr;
  if (Load(state, host_path, cached) != LoadResult::Loaded)
    return list ? CopyList({}, buffer, size) : CopyValue(fallback, buffer, size);
  Document& doc = cached->doc;
  if (section == nullptr) return CopyList(SectionNamesOf(doc), buffer, size);
  const Section* found = doc.FindSection(Trim(section));
  if (key == nullptr) return CopyList(found ? KeyNamesOf(*found) : std::vector<std::string>{}, buffer, size);
  const Line* line = found ? found->FindKey(Trim(key)) : nullptr;
  if (line == nullptr) return CopyValue(fallback, buffer, size);
  return CopyValue(ValueOf(*line), buffer, size);
}

int GetPrivateProfileInt(const char* section, const char* key, int default_value,
                         const char* file) {
  if (section == nullptr || key == nullptr) return default_value;
  char text[64];
  if (GetPrivateProfileString(section, key, "", text, sizeof(text), file) == 0) return default_value;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  long long result = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    result = result * 10 + (*p - '0');
    if (result > static_cast<long long>(INT_MAX) + 1) break;  // saturate below
  }
  if (negative) result = -result;
  return static_cast<int>(std::clamp<long long>(result, INT_MIN, INT_MAX));
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
  // Nothing is held back in memory, so a request to flush everything has nothing to do.
  if (section == nullptr) return key == nullptr && value == nullptr;
  if (file == nullptr || file[0] == '\0') return false;
  // A line break, a '=' in a name or ']' in a section name would write a line that reads
  // back as something else; such requests are refused rather than corrupting the file.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (std::strchr(section, ']') != nullptr) return false;
  if (key != nullptr) {
    const std::string_view trimmed = Trim(key);
    if (trimmed.find('=') != std::string_view::npos || (!trimmed.empty() && trimmed.front() == '['))
      return false;
  }

  std::string_view file_name(file);
  const bool bare = file_name.find_first_of("\\/") == std::string_view::npos &&
                    !(file_name.size() >= 2 && file_name[1] == ':');
  if (bare) CreateFolderTree(WindowsFolder());
  const std::string host_path = HostPathOf(file);

  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  CachedFile* cached = nullptr;
  const LoadResult loaded = Load(state, host_path, cached);
  if (loaded == LoadResult::Failed) return false;
  if (loaded == LoadResult::Missing) {
    // Deleting from a file that does not exist leaves it missing.
    if (value == nullptr) return true;
    state.cache.push_front(CachedFile{host_path, FileIdentity{}, Document{}});
    cached = &state.cache.front();
  }
  if (!Apply(cached->doc, Trim(section), key, value)) {
    if (loaded == LoadResult::Missing) state.cache.pop_front();
    return true;
  }
  const std::optional<FileIdentity> identity = ReplaceAtomically(host_path, cached->doc);
  if (!identity) {
    // The parsed copy now holds a change the file does not; drop it so the next access reads
    // the file as it is.
    state.cache.pop_front();
    return false;
  }
  cached->identity = *identity;
  if (state.cache.size() > kCachedFiles) state.cache.pop_back();
  return true;
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  const std::string host_path = HostPathOf(file.c_str());
  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  CachedFile* cached = nullptr;
  if (Load(state, host_path, cached) != LoadResult::Loaded) return default_value;
  const Section* found = cached->doc.FindSection(Trim(section));
  const Line* line = found ? found->FindKey(Trim(key)) : nullptr;
  return line ? std::string(ValueOf(*line)) : default_value;
}

std::vector<std::string> ProfileSectionNames(const std::string& file) {
  const std::string host_path = HostPathOf(file.c_str());
  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  CachedFile* cached = nullptr;
  if (Load(state, host_path, cached) != LoadResult::Loaded) return {};
  return SectionNamesOf(cached->doc);
}

std::vector<std::string> ProfileKeyNames(const std::string& file, const std::string& section) {
  const std::string host_path = HostPathOf(file.c_str());
  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  CachedFile* cached = nullptr;
  if (Load(state, host_path, cached) != LoadResult::Loaded) return {};
  const Section* found = cached->doc.FindSection(Trim(section));
  return found ? KeyNamesOf(*found) : std::vector<std::string>{};
}

void ClearProfileCache() {
  ProfileState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.cache.clear();
}

}  // namespace platform
