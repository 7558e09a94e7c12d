#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/NameCompare.h"
#include "platform/Paths.h"

namespace platform {
namespace {

FileError FromErrno(int code) {
  switch (code) {
    case 0: return FileError::None;
    case ENOENT:
    case ENOTDIR: return FileError::NotFound;
    case EEXIST: return FileError::AlreadyExists;
    case EACCES:
    case EPERM:
    case EROFS: return FileError::AccessDenied;
    case ENOTEMPTY: return FileError::NotEmpty;
    case ENOSPC:
    case EDQUOT: return FileError::DiskFull;
    case ENAMETOOLONG:
    case EINVAL: return FileError::InvalidPath;
    default: return FileError::Io;
  }
}

bool Report(FileError* out, FileError error) {
  if (out != nullptr) *out = error;
  return error == FileError::None;
}

bool ReportErrno(FileError* out) { return Report(out, FromErrno(errno)); }

std::string FolderOf(const std::string& host_path) {
  const std::size_t slash = host_path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host_path.substr(0, slash);
}

std::string NameOf(const std::string& host_path) {
  const std::size_t slash = host_path.rfind('/');
  return slash == std::string::npos ? host_path : host_path.substr(slash + 1);
}

// Unique name beside `host_path` for a file that is renamed into place when complete.
std::string TemporaryBeside(const std::string& host_path) {
  static std::atomic<unsigned> counter{0};
  return FolderOf(host_path) + "/." + NameOf(host_path) + ".tmp-" + std::to_string(::getpid()) +
         "-" + std::to_string(counter.fetch_add(1));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

// Write limits installed by tests: host path -> bytes allowed.
struct WriteLimits {
  std::mutex lock;
  std::unordered_map<std::string, std::int64_t> bytes_allowed;  // Guarded by lock
};

WriteLimits& Limits() {
  static WriteLimits limits;
  return limits;
}

std::int64_t WriteLimitFor(const std::string& host_path) {
  WriteLimits& limits = Limits();
  std::lock_guard<std::mutex> guard(limits.lock);
  if (limits.bytes_allowed.empty()) return -1;
  auto it = limits.bytes_allowed.find(host_path);
  return it == limits.bytes_allowed.end() ? -1 : it->second;
}

bool MatchFrom(std::string_view pattern, std::string_view name) {
  // Iterative match with one backtrack point per '*': linear in practice and no recursion
  // on hostile patterns.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || detail::FoldAsciiByte(pattern[p]) == detail::FoldAsciiByte(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

const char* FileErrorText(FileError error) {
  switch (error) {
    case FileError::None: return "no error";
    case FileError::NotFound: return "not found";
    case FileError::AlreadyExists: return "already exists";
    case FileError::AccessDenied: return "access denied";
    case FileError::NotEmpty: return "folder not empty";
    case FileError::DiskFull: return "disk full";
    case FileError::InvalidPath: return "invalid path";
    case FileError::NotOpen: return "file not open";
    case FileError::Io: return "i/o error";
  }
  return "unknown error";
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (MatchFrom(pattern, name)) return true;
  // "name.*" also stands for "name" without any extension.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return MatchFrom(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

std::vector<FindData> FindFiles(std::string_view pattern) {
  std::vector<FindData> found;
  const std::size_t cut = pattern.find_last_of("\\/");
  std::string_view name_pattern = cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);
  std::string_view folder_part = cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
  // "X:*" names the root of drive X.
  if (cut == std::string_view::npos && pattern.size() >= 2 && pattern[1] == ':') {
    folder_part = pattern.substr(0, 2);
    name_pattern = pattern.substr(2);
  }
  if (name_pattern.empty()) return found;
  std::string folder = folder_part.empty() ? "." : ToHostPath(folder_part);
  if (folder.empty()) folder = ".";

  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return found;
  const int dir_fd = ::dirfd(dir);
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (!MatchesWildcard(name_pattern, name)) continue;
    struct stat st {};
    if (::fstatat(dir_fd, entry->d_name, &st, 0) != 0) continue;  // vanished or dangling link
    FindData data;
    data.name = std::string(name);
    data.is_folder = S_ISDIR(st.st_mode);
    data.size_bytes = data.is_folder ? 0 : static_cast<std::uint64_t>(st.st_size);
    data.write_time_s = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    found.push_back(std::move(data));
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) {
    const std::string fa = detail::FoldCase(a.name), fb = detail::FoldCase(b.name);
    return fa != fb ? fa < fb : a.name < b.name;
  });
  return found;
}

bool Exists(std::string_view path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(ToHostPath(path).c_str(), &st) == 0;
}

bool IsFolder(std::string_view path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(ToHostPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(std::string_view path, FileError* error) {
  if (path.empty()) return Report(error, FileError::InvalidPath);
  if (::mkdir(ToHostPath(path).c_str(), 0755) != 0) return ReportErrno(error);
  return Report(error, FileError::None);
}

bool CreateFolderTree(std::string_view path, FileError* error) {
  if (path.empty()) return Report(error, FileError::InvalidPath);
  const std::string host = ToHostPath(path);
  std::size_t pos = 0;
  while (true) {
    pos = host.find('/', pos + 1);
    const std::string partial = host.substr(0, pos);
    if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      const int code = errno;
      struct stat st {};
      // An existing component that is not a folder (or cannot be made) ends the walk; a file
      // in the middle of the path means the path cannot be reached.
      if (::stat(partial.c_str(), &st) != 0) {
        errno = code;
        return ReportErrno(error);
      }
      if (!S_ISDIR(st.st_mode))
        return Report(error, pos == std::string::npos ? FileError::AlreadyExists : FileError::NotFound);
    }
    if (pos == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return ReportErrno(error);
  if (!S_ISDIR(st.st_mode)) return Report(error, FileError::AlreadyExists);
  return Report(error, FileError::None);
}

bool RemoveFolder(std::string_view path, FileError* error) {
  if (path.empty()) return Report(error, FileError::InvalidPath);
  if (::rmdir(ToHostPath(path).c_str()) != 0) {
    if (errno == EEXIST) return Report(error, FileError::NotEmpty);
    return ReportErrno(error);
  }
  return Report(error, FileError::None);
}

bool DeleteFile(std::string_view path, FileError* error) {
  if (path.empty()) return Report(error, FileError::InvalidPath);
  const std::string host = ToHostPath(path);
  struct stat st {};
  if (::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Report(error, FileError::AccessDenied);
  if (::unlink(host.c_str()) != 0) return ReportErrno(error);
  return Report(error, FileError::None);
}

std::int64_t FileSize(std::string_view path) {
  if (path.empty()) return -1;
  struct stat st {};
  if (::stat(ToHostPath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists, FileError* error) {
  if (from.empty() || to.empty()) return Report(error, FileError::InvalidPath);
  const std::string source = ToHostPath(from);
  const std::string target = ToHostPath(to);
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return ReportErrno(error);
  struct stat st {};
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return Report(error, S_ISDIR(st.st_mode) ? FileError::AccessDenied : FileError::Io);
  }
  if (fail_if_exists && ::access(target.c_str(), F_OK) == 0) {
    ::close(in);
    return Report(error, FileError::AlreadyExists);
  }
  const std::string temporary = TemporaryBeside(target);
  const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) {
    const int code = errno;
    ::close(in);
    errno = code;
    return ReportErrno(error);
  }
  char buffer[1 << 16];
  bool ok = true;
  int code = 0;
  while (true) {
    const ssize_t n = ::read(in, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; code = errno; break; }
    if (n == 0) break;
    if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) { ok = false; code = errno; break; }
  }
  ::close(in);
  if (ok && ::fsync(out) != 0) { ok = false; code = errno; }
  if (::close(out) != 0 && ok) { ok = false; code = errno; }
  if (ok) {
    if (fail_if_exists) {
      // link() refuses an existing target, so a file created meanwhile is not replaced.
      if (::link(temporary.c_str(), target.c_str()) != 0) { ok = false; code = errno; }
    } else if (::rename(temporary.c_str(), target.c_str()) != 0) {
      ok = false;
      code = errno;
    }
  }
  ::unlink(temporary.c_str());
  if (!ok) {
    errno = code;
    return ReportErrno(error);
  }
  return Report(error, FileError::None);
}

bool MoveFile(std::string_view from, std::string_view to, FileError* error) {
  if (from.empty() || to.empty()) return Report(error, FileError::InvalidPath);
  const std::string source = ToHostPath(from);
  const std::string target = ToHostPath(to);
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return Report(error, FileError::None);
  if (errno != EINVAL && errno != ENOSYS) return ReportErrno(error);
  // File systems without no-replace renames: check first, accepting the small race.
  if (::access(target.c_str(), F_OK) == 0) return Report(error, FileError::AlreadyExists);
  if (::rename(source.c_str(), target.c_str()) != 0) return ReportErrno(error);
  return Report(error, FileError::None);
}

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(other.fd_), host_path_(std::move(other.host_path_)), head_(other.head_),
      head_size_(other.head_size_), error_(other.error_), write_budget_(other.write_budget_) {
  other.fd_ = -1;
  other.host_path_.clear();
  other.head_ = nullptr;
  other.head_size_ = 0;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    host_path_ = std::move(other.host_path_);
    error_ = other.error_;
    write_budget_ = other.write_budget_;
    head_ = other.head_;
    head_size_ = other.head_size_;
    other.fd_ = -1;
    other.host_path_.clear();
    other.head_ = nullptr;
    other.head_size_ = 0;
  }
  return *this;
}

bool File::Fail(FileError error) {
  error_ = error;
  return false;
}

bool File::Open(std::string_view path, Mode mode, FileError* error) {
  Close();
  if (path.empty()) {
    error_ = FileError::InvalidPath;
    return Report(error, error_);
  }
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case Mode::OpenAlways: flags |= O_RDWR | O_CREAT; break;
  }
  const std::string host = ToHostPath(path);
  const int fd = ::open(host.c_str(), flags, 0644);
  if (fd < 0) {
    error_ = FromErrno(errno);
    return Report(error, error_);
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error_ = FileError::AccessDenied;
    return Report(error, error_);
  }
  fd_ = fd;
  host_path_ = host;
  error_ = FileError::None;
  write_budget_ = WriteLimitFor(host);
  return Report(error, FileError::None);
}

bool File::Close() {
  UnmapHead();
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  host_path_.clear();
  if (result != 0) return Fail(FromErrno(errno));
  return true;
}

std::int64_t File::Read(void* buffer, std::size_t size) {
  if (fd_ < 0) {
    Fail(FileError::NotOpen);
    return -1;
  }
  while (true) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) {
      Fail(FromErrno(errno));
      return -1;
    }
  }
}

bool File::ReadExact(void* buffer, std::size_t size) {
  char* out = static_cast<char*>(buffer);
  while (size > 0) {
    const std::int64_t n = Read(out, size);
    if (n < 0) return false;
    if (n == 0) return Fail(FileError::Io);
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return Fail(FileError::NotOpen);
  std::size_t allowed = size;
  if (write_budget_ >= 0 && static_cast<std::uint64_t>(write_budget_) < size)
    allowed = static_cast<std::size_t>(write_budget_);
  if (!WriteAll(fd_, static_cast<const char*>(data), allowed)) return Fail(FromErrno(errno));
  if (write_budget_ >= 0) write_budget_ -= static_cast<std::int64_t>(allowed);
  if (allowed < size) return Fail(FileError::DiskFull);
  return true;
}

bool File::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0) return Fail(FileError::NotOpen);
  if (offset < 0) return Fail(FileError::Io);
  std::size_t allowed = size;
  if (write_budget_ >= 0 && static_cast<std::uint64_t>(write_budget_) < size)
    allowed = static_cast<std::size_t>(write_budget_);
  if (!WriteAllAt(fd_, static_cast<const char*>(data), allowed, static_cast<off_t>(offset)))
    return Fail(FromErrno(errno));
  if (write_budget_ >= 0) write_budget_ -= static_cast<std::int64_t>(allowed);
  if (allowed < size) return Fail(FileError::DiskFull);
  return true;
}

unsigned char* File::MapHead(std::size_t size) {
  if (fd_ < 0 || size == 0) return nullptr;
  if (head_ != nullptr && head_size_ == size) return static_cast<unsigned char*>(head_);
  UnmapHead();
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < size) return nullptr;
  void* head = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (head == MAP_FAILED) return nullptr;
  head_ = head;
  head_size_ = size;
  return static_cast<unsigned char*>(head_);
}

void File::UnmapHead() {
  if (head_ == nullptr) return;
  ::munmap(head_, head_size_);
  head_ = nullptr;
  head_size_ = 0;
}

std::int64_t File::Seek(std::int64_t offset, Origin origin) {
  if (fd_ < 0) {
    Fail(FileError::NotOpen);
    return -1;
  }
  const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) {
    Fail(FromErrno(errno));
    return -1;
  }
  return static_cast<std::int64_t>(result);
}

std::int64_t File::Tell() const {
  if (fd_ < 0) return -1;
  return static_cast<std::int64_t>(::lseek(fd_, 0, SEEK_CUR));
}

std::int64_t File::Size() const {
  if (fd_ < 0) return -1;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool File::Truncate(std::int64_t size_bytes) {
  if (fd_ < 0) return Fail(FileError::NotOpen);
  if (size_bytes < 0) return Fail(FileError::InvalidPath);
  if (::ftruncate(fd_, static_cast<off_t>(size_bytes)) != 0) return Fail(FromErrno(errno));
  return true;
}

bool File::Flush() {
  if (fd_ < 0) return Fail(FileError::NotOpen);
  if (::fsync(fd_) != 0) return Fail(FromErrno(errno));
  return true;
}

void SetWriteLimitForTesting(const std::string& host_path, std::int64_t bytes_allowed) {
  WriteLimits& limits = Limits();
  std::lock_guard<std::mutex> guard(limits.lock);
  if (bytes_allowed < 0)
    limits.bytes_allowed.erase(host_path);
  else
    limits.bytes_allowed[host_path] = bytes_allowed;
}

bool ReadWholeFile(std::string_view path, std::string& contents, FileError* error) {
  File file;
  if (!file.Open(path, File::Mode::Read, error)) return false;
  contents.clear();
  const std::int64_t size = file.Size();
  if (size > 0) contents.reserve(static_cast<std::size_t>(size));
  char buffer[1 << 16];
  while (true) {
    const std::int64_t n = file.Read(buffer, sizeof(buffer));
    if (n < 0) return Report(error, file.error());
    if (n == 0) break;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  return Report(error, FileError::None);
}

bool ReplaceFileContents(std::string_view path, std::string_view contents, FileError* error) {
  if (path.empty()) return Report(error, FileError::InvalidPath);
  const std::string target = ToHostPath(path);
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Report(error, FileError::AccessDenied);
    mode = st.st_mode & 07777;
  }
  const std::string temporary = TemporaryBeside(target);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return ReportErrno(error);
  // One write of the whole text, committed before the rename: after a crash the target is
  // either the old file or the complete new one.
  bool ok = WriteAll(fd, contents.data(), contents.size()) && ::fchmod(fd, mode) == 0 &&
            ::fdatasync(fd) == 0;
  int code = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) { ok = false; code = errno; }
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) { ok = false; code = errno; }
  if (!ok) {
    ::unlink(temporary.c_str());
    errno = code;
    return ReportErrno(error);
  }
  return Report(error, FileError::None);
}

}  // namespace platform
