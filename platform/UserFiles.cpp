#include "platform/UserFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Paths.h"

namespace platform {
namespace {

// Name of the suite's folder inside the user's configuration and data folders.
constexpr const char kSuiteFolderName[] = "korvel";

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// $<variable> when it names an absolute folder, otherwise $HOME/<fallback> (/tmp without a
// usable $HOME), followed by the suite's folder.
std::string XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return WithoutTrailingSlashes(value) + "/" + kSuiteFolderName;
  const char* home = std::getenv("HOME");
  const std::string base = (home != nullptr && home[0] == '/') ? WithoutTrailingSlashes(home) : "/tmp";
  return base + "/" + fallback + "/" + kSuiteFolderName;
}

bool InGroup(gid_t group) {
  if (::getegid() == group) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int filled = ::getgroups(count, groups.data());
  for (int i = 0; i < filled; ++i)
    if (groups[static_cast<std::size_t>(i)] == group) return true;
  return false;
}

// Makes `host_path` and its missing parents; the folders made are owner-only.
void MakeUserFolders(const std::string& host_path) {
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = host_path.find('/', pos + 1);
    const std::string partial = host_path.substr(0, pos);
    if (!partial.empty()) ::mkdir(partial.c_str(), 0700);
  }
}

// Copies an installed default into the user folder. The copy is made under a temporary name
// and renamed, so a program starting at the same moment never reads half a file.
void CopyDefault(const std::string& from, const std::string& to) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(from, error)) return;
  const std::string temporary = to + ".new" + std::to_string(::getpid());
  if (!std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing, error)) {
    std::filesystem::remove(temporary, error);
    return;
  }
  std::filesystem::permissions(temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::replace, error);
  if (::rename(temporary.c_str(), to.c_str()) != 0) std::filesystem::remove(temporary, error);
}

bool FolderExists(const std::string& host_folder) {
  struct stat info {};
  return !host_folder.empty() && ::stat(host_folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool FolderIsUserWritable(const std::string& host_folder) {
  if (host_folder.empty()) return false;
  struct stat info {};
  if (::stat(host_folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  struct statvfs volume {};
  if (::statvfs(host_folder.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0) return false;
  const uid_t user = ::geteuid();
  mode_t bit = S_IWOTH;
  if (info.st_uid == user) bit = S_IWUSR;
  else if (InGroup(info.st_gid)) bit = S_IWGRP;
  if ((info.st_mode & bit) == 0) return false;
  // The bits said yes; access lists or a mount the bits do not show may still say no (the
  // superuser's answer here is always yes, which is why the bits are read first).
  return ::faccessat(AT_FDCWD, host_folder.c_str(), W_OK, AT_EACCESS) == 0;
}

std::string UserConfigFolderHost() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string UserDataFolderHost() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

std::string UserFileHostPath(std::string_view name, UserFileKind kind, std::string_view host_folder) {
  const std::string folder =
      WithoutTrailingSlashes(host_folder.empty() ? ProgramFolderHost() : std::string(host_folder));
  const std::string beside = (folder == "/" ? "" : folder) + "/" + std::string(name);
  // Only a folder that is there and closed to the user sends its files elsewhere: a missing
  // folder is the caller's mistake, and saving into it must fail where the caller asked
  // rather than land somewhere the caller will never look.
  if (FolderIsUserWritable(folder) || !FolderExists(folder)) return beside;

  const std::string user_folder =
      kind == UserFileKind::Configuration ? UserConfigFolderHost() : UserDataFolderHost();
  MakeUserFolders(user_folder);
  const std::string path = user_folder + "/" + std::string(name);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) CopyDefault(beside, path);
  return path;
}

std::string UserFilePath(std::string_view name, UserFileKind kind, std::string_view folder) {
  std::string windows_folder = folder.empty() ? ProgramFolder() : std::string(folder);
  while (windows_folder.size() > 1 && (windows_folder.back() == '\\' || windows_folder.back() == '/'))
    windows_folder.pop_back();
  const std::string host_folder = ToHostPath(windows_folder);
  if (FolderIsUserWritable(host_folder) || !FolderExists(host_folder))
    return windows_folder + "\\" + std::string(name);
  return ToWindowsPath(UserFileHostPath(name, kind, host_folder));
}

}  // namespace platform
