#include "platform/Paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/NameCompare.h"
#include "platform/UserFiles.h"

namespace platform {
namespace {

// The process-wide drive table and space provider; one per process because every library
// must see the same drives.
struct DriveState {
  std::mutex lock;
  std::optional<DriveTable> table;  // Guarded by lock; empty until first use
  DiskSpaceProvider provider;       // Guarded by lock; empty = statvfs
};

DriveState& State() {
  static DriveState state;
  return state;
}

char UpperLetter(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return c;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Adds `letter` -> `root` unless the letter is already present (first one wins).
void AddDrive(DriveTable& table, char letter, std::string root, std::string label = {}) {
  letter = UpperLetter(letter);
  for (const DriveMapping& d : table.drives)
    if (d.letter == letter) return;
  table.drives.push_back({letter, WithoutTrailingSlashes(std::move(root)), std::move(label)});
}

void MakeFolders(const std::string& host_path) {
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = host_path.find('/', pos + 1);
    partial = host_path.substr(0, pos);
    if (!partial.empty()) ::mkdir(partial.c_str(), 0755);
  }
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Writes the default table where the operator will look for it: a program installed under a
// read-only prefix keeps its drive table in the user's configuration folder, and a file there
// says which folders stand for C and D and how to change them.
void WriteDefaultDrivesIni(const std::string& host_path, const DriveTable& table) {
  std::string text =
      "; Drive letters seen by the programs. Each letter stands for a host folder; edit them\r\n"
      "; and restart the programs. KORVEL_DRIVES in the environment (\"C=/x;D=/y\") takes\r\n"
      "; precedence over this file.\r\n[Drives]\r\n";
  for (const DriveMapping& d : table.drives) text += std::string(1, d.letter) + "=" + d.root + "\r\n";
  text += "\r\n[System]\r\nDrive=";
  text += table.system_drive;
  text += "\r\n";
  std::ofstream out(host_path, std::ios::binary | std::ios::trunc);
  out << text;
}

DriveTable LoadConfiguredTable() {
  std::optional<DriveTable> table;
  if (const char* env = std::getenv("KORVEL_DRIVES"); env != nullptr && env[0] != '\0')
    table = ParseDriveList(env);
  if (!table) {
    // Beside the program, or in the user's configuration folder for an installed program.
    const std::string drives_ini = UserFileHostPath("Drives.ini");
    table = ReadDrivesIni(drives_ini);
    if (!table) {
      DriveTable defaults;
      const std::string base = UserDataFolderHost();
      defaults.drives.push_back({'C', base + "/C"});
      defaults.drives.push_back({'D', base + "/D"});
      table = defaults;
      if (!PathExists(drives_ini) && !FolderIsUserWritable(ProgramFolderHost()))
        WriteDefaultDrivesIni(drives_ini, defaults);
    }
  }
  // A configured drive whose folder is missing would read as a drive without space; make
  // the folders so a fresh machine records at once.
  for (const DriveMapping& d : table->drives) MakeFolders(d.root);
  return *table;
}

DriveTable& TableLocked(DriveState& state) {
  if (!state.table) state.table = LoadConfiguredTable();
  return *state.table;
}

bool StatvfsSpace(const std::string& host_root, DiskSpace& space) {
  struct statvfs info {};
  if (::statvfs(host_root.c_str(), &info) != 0) return false;
  const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  space.free_bytes_available = static_cast<std::uint64_t>(info.f_bavail) * unit;
  space.total_bytes = static_cast<std::uint64_t>(info.f_blocks) * unit;
  space.total_free_bytes = static_cast<std::uint64_t>(info.f_bfree) * unit;
  return true;
}

// Finds an entry of `folder` equal to `name` without case; the smallest such name when the
// host holds several, so that the choice does not depend on directory order.
std::optional<std::string> FindEntryNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view candidate(entry->d_name);
    if (!detail::EqualNoCase(candidate, name)) continue;
    if (!found || candidate < *found) found = std::string(candidate);
  }
  ::closedir(dir);
  return found;
}

// `prefix` exists (or is the starting point); appends `components`, matching each one without
// case while the path so far exists.
std::string ResolveComponents(std::string prefix, const std::vector<std::string>& components,
                              bool trailing_separator) {
  bool resolving = true;
  for (const std::string& component : components) {
    std::string next = prefix + (prefix.empty() || prefix.back() != '/' ? "/" : "") + component;
    if (resolving && component != "." && component != ".." && !PathExists(next)) {
      if (auto match = FindEntryNoCase(prefix, component)) {
        next = prefix + (prefix.empty() || prefix.back() != '/' ? "/" : "") + *match;
      } else {
        resolving = false;
      }
    }
    prefix = std::move(next);
  }
  if (trailing_separator && !prefix.empty() && prefix.back() != '/') prefix += '/';
  return prefix;
}

std::vector<std::string> SplitComponents(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '/' || text[i] == '\\') {
      if (i > start) parts.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::string ReadExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace

std::optional<DriveTable> ParseDriveList(std::string_view text) {
  DriveTable table;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = TrimBlanks(text.substr(start, end - start));
    start = end + 1;
    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = TrimBlanks(item.substr(0, eq));
    std::string_view value = TrimBlanks(item.substr(eq + 1));
    if (name.size() == 1 && IsLetter(name[0]) && !value.empty() && value[0] == '/') {
      AddDrive(table, name[0], std::string(value));
    } else if (detail::EqualNoCase(name, "System") && value.size() >= 1 && IsLetter(value[0])) {
      table.system_drive = UpperLetter(value[0]);
    }
  }
  if (table.drives.empty()) return std::nullopt;
  return table;
}

std::optional<DriveTable> ReadDrivesIni(const std::string& host_path) {
  std::ifstream in(host_path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::size_t slash = host_path.rfind('/');
  const std::string ini_folder = slash == std::string::npos ? "." : host_path.substr(0, slash);
  DriveTable table;
  std::vector<std::pair<char, std::string>> labels;  // may come before [Drives]
  std::string section;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view text = TrimBlanks(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text[0] == '[') {
      const std::size_t close = text.find(']');
      section = detail::FoldCase(TrimBlanks(text.substr(1, close == std::string_view::npos
                                                               ? std::string_view::npos
                                                               : close - 1)));
      continue;
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = TrimBlanks(text.substr(0, eq));
    std::string_view value = TrimBlanks(text.substr(eq + 1));
    if (section == "drives" && name.size() == 1 && IsLetter(name[0]) && !value.empty()) {
      // A relative folder is taken from the folder of Drives.ini, so a program folder can be
      // moved together with its drives.
      std::string root = value[0] == '/' ? std::string(value) : ini_folder + "/" + std::string(value);
      AddDrive(table, name[0], std::move(root));
    } else if (section == "labels" && name.size() == 1 && IsLetter(name[0])) {
      labels.emplace_back(UpperLetter(name[0]), std::string(value));
    } else if (section == "system" && detail::EqualNoCase(name, "Drive") && !value.empty() &&
               IsLetter(value[0])) {
      table.system_drive = UpperLetter(value[0]);
    }
  }
  if (table.drives.empty()) return std::nullopt;
  for (const auto& [letter, label] : labels)
    for (DriveMapping& d : table.drives)
      if (d.letter == letter && d.label.empty()) d.label = label;
  return table;
}

DriveTable CurrentDriveTable() {
  DriveState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return TableLocked(state);
}

void SetDriveTable(const DriveTable& table) {
  DriveTable clean;
  clean.system_drive = IsLetter(table.system_drive) ? UpperLetter(table.system_drive) : 'C';
  for (const DriveMapping& d : table.drives)
    if (IsLetter(d.letter) && !d.root.empty()) AddDrive(clean, d.letter, d.root, d.label);
  DriveState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.table = std::move(clean);
}

void ResetDriveTable() {
  DriveState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.table.reset();
}

std::string DriveRoot(char letter) {
  letter = UpperLetter(letter);
  DriveState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (const DriveMapping& d : TableLocked(state).drives)
    if (d.letter == letter) return d.root;
  return {};
}

std::string ToHostPath(std::string_view windows_path) {
  if (windows_path.empty()) return {};
  std::string prefix;
  std::string_view rest = windows_path;
  if (windows_path.size() >= 2 && IsLetter(windows_path[0]) && windows_path[1] == ':') {
    prefix = DriveRoot(windows_path[0]);
    // Below a device file, so that every operation on the path fails, even folder creation
    // by a privileged user.
    if (prefix.empty()) prefix = std::string("/dev/null/no-drive-") + UpperLetter(windows_path[0]);
    rest.remove_prefix(2);
  } else if (windows_path[0] == '\\' || windows_path[0] == '/') {
    prefix = "/";
  }
  const std::vector<std::string> components = SplitComponents(rest);
  const bool trailing = !components.empty() && (rest.back() == '\\' || rest.back() == '/');

  std::string as_written = prefix;
  for (const std::string& c : components) {
    if (!as_written.empty() && as_written.back() != '/') as_written += '/';
    as_written += c;
  }
  if (trailing) as_written += '/';
  if (components.empty() || PathExists(as_written)) return as_written;
  if (prefix.empty()) prefix = ".";
  std::string resolved = ResolveComponents(prefix, components, trailing);
  // A relative path keeps its relative form.
  if (windows_path[0] != '\\' && windows_path[0] != '/' && prefix == "." &&
      resolved.rfind("./", 0) == 0)
    resolved.erase(0, 2);
  return resolved;
}

std::string ToWindowsPath(std::string_view host_path) {
  std::string absolute(host_path);
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof(cwd)) != nullptr)
      absolute = std::string(cwd) + (absolute.empty() ? "" : "/" + absolute);
  }
  // Collapse repeated separators so that the comparison with the roots is textual.
  std::string clean;
  for (char c : absolute)
    if (!(c == '/' && !clean.empty() && clean.back() == '/')) clean += c;
  clean = WithoutTrailingSlashes(clean);

  const DriveTable table = CurrentDriveTable();
  const DriveMapping* best = nullptr;
  for (const DriveMapping& d : table.drives) {
    const bool below = clean == d.root ||
                       (clean.size() > d.root.size() && clean.compare(0, d.root.size(), d.root) == 0 &&
                        (clean[d.root.size()] == '/' || d.root == "/"));
    if (below && (best == nullptr || d.root.size() > best->root.size())) best = &d;
  }
  std::string result;
  std::string_view rest = clean;
  if (best != nullptr) {
    result = std::string(1, best->letter) + ":\\";
    rest.remove_prefix(std::min(rest.size(), best->root.size()));
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  }
  for (char c : rest) result += (c == '/') ? '\\' : c;
  return result;
}

std::uint32_t GetLogicalDriveStrings(std::uint32_t buffer_size, char* buffer) {
  const DriveTable table = CurrentDriveTable();
  const std::uint32_t length = static_cast<std::uint32_t>(table.drives.size() * 4);
  if (buffer == nullptr || buffer_size < length + 1) return length + 1;
  char* out = buffer;
  for (const DriveMapping& d : table.drives) {
    *out++ = d.letter;
    *out++ = ':';
    *out++ = '\\';
    *out++ = '\0';
  }
  *out = '\0';
  return length;
}

std::vector<std::string> LogicalDriveRoots() {
  std::vector<std::string> roots;
  for (const DriveMapping& d : CurrentDriveTable().drives) roots.push_back(std::string(1, d.letter) + ":\\");
  return roots;
}

unsigned GetDriveType(std::string_view root) {
  if (root.size() < 2 || root.size() > 3 || !IsLetter(root[0]) || root[1] != ':') return kDriveNoRootDir;
  if (root.size() == 3 && root[2] != '\\' && root[2] != '/') return kDriveNoRootDir;
  return DriveRoot(root[0]).empty() ? kDriveNoRootDir : kDriveFixed;
}

DiskSpaceProvider SetDiskSpaceProvider(DiskSpaceProvider provider) {
  DriveState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  DiskSpaceProvider previous = std::move(state.provider);
  state.provider = std::move(provider);
  return previous;
}

namespace {

// The free space of the file system holding an existing host folder, through the provider
// tests install or statvfs; `space` is left as it was on failure.
bool MeasureHostSpace(const std::string& host_folder, DiskSpace& space) {
  DiskSpaceProvider provider;
  {
    DriveState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    provider = state.provider;
  }
  DiskSpace measured;
  const bool ok = provider ? provider(host_folder, measured) : StatvfsSpace(host_folder, measured);
  if (ok) space = measured;
  return ok;
}

}  // namespace

bool GetDiskFreeSpace(std::string_view root, DiskSpace& space) {
  if (root.size() < 2 || !IsLetter(root[0]) || root[1] != ':') return false;
  const std::string host_root = DriveRoot(root[0]);
  if (host_root.empty()) return false;
  return MeasureHostSpace(host_root, space);
}

bool GetFolderFreeSpace(const std::string& host_folder, DiskSpace& space) {
  if (host_folder.empty() || host_folder[0] != '/') return false;
  // A folder about to be created is measured where it will be made.
  std::string folder = host_folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat info {};
  while (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    if (folder == "/") return false;
    const std::size_t slash = folder.rfind('/');
    folder = slash == 0 ? std::string("/") : folder.substr(0, slash);
  }
  return MeasureHostSpace(folder, space);
}

bool GetVolumeLabel(std::string_view root, std::string& label) {
  if (root.size() < 2 || !IsLetter(root[0]) || root[1] != ':') return false;
  const char letter = UpperLetter(root[0]);
  for (const DriveMapping& d : CurrentDriveTable().drives) {
    if (d.letter != letter) continue;
    label = d.label;
    return true;
  }
  return false;
}

char SystemDriveLetter() { return CurrentDriveTable().system_drive; }

std::string SystemDriveRoot() { return std::string(1, SystemDriveLetter()) + ":\\"; }

std::string WindowsFolder() { return std::string(1, SystemDriveLetter()) + ":\\WINDOWS"; }

std::string SystemFolder() { return WindowsFolder() + "\\system32"; }

std::string ProgramFolderHost() {
  static const std::string folder = [] {
    std::string exe = ReadExecutablePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return std::string(".");
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
  }();
  return folder;
}

std::string ProgramFolder() { return ToWindowsPath(ProgramFolderHost()); }

std::string ModuleFileName() { return ToWindowsPath(ReadExecutablePath()); }

}  // namespace platform
