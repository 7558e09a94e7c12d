#pragma once

// Files and folders by Windows-form path.
//
// Every path given here goes through ToHostPath (platform/Paths.h), so "D:\VIDEO\x.avi" works as
// the system writes it; a plain host path ("/tmp/x") passes through unchanged. Functions report
// success by their return value and, when asked, the reason through a FileError out-parameter.
// All functions may be called from any thread; a File object belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class FileError {
  None = 0,
  NotFound,       // the file or a folder on its path does not exist
  AlreadyExists,  // target exists (create-new, copy without overwrite, create folder)
  AccessDenied,
  NotEmpty,       // folder still holds entries
  DiskFull,       // no space left (also the injected write limit of tests)
  InvalidPath,    // empty path, pattern without a name part, ...
  NotOpen,        // File used before Open or after Close
  Io,             // any other failure of the host
};

// Short English name of the error for trace lines ("not found", "disk full", ...).
const char* FileErrorText(FileError error);

// One entry found by FindFiles.
struct FindData {
  std::string name;              // file name only, as stored on disk
  bool is_folder = false;
  std::uint64_t size_bytes = 0;  // 0 for folders
  std::int64_t write_time_s = 0; // last write, seconds since 1970-01-01 UTC
};

// Entries of a folder whose names match the last component of `pattern`
// ("D:\VIDEO\*", "D:\VIDEO\2010_??_??", "F:\Language\Korvel\Language.*"). '*' matches any
// run of characters, '?' exactly one; matching ignores ASCII case; a pattern ending in ".*"
// also matches names without a dot, as "*.*" matches every name. "." and ".." are never
// returned. The folder part is resolved like any path. Results are sorted by name without
// case so repeated scans give the same order. An empty result means nothing matched or the
// folder does not exist.
std::vector<FindData> FindFiles(std::string_view pattern);

// True when `name` matches `pattern` under the rules of FindFiles.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

bool Exists(std::string_view path);
bool IsFolder(std::string_view path);

// Creates one folder; its parent must exist. Fails with AlreadyExists when the path exists.
bool CreateFolder(std::string_view path, FileError* error = nullptr);
// Creates every missing folder of `path` (a trailing '\' is allowed). True when the folder
// exists afterwards, including when it already existed.
bool CreateFolderTree(std::string_view path, FileError* error = nullptr);
// Removes an empty folder; NotEmpty when it still has entries.
bool RemoveFolder(std::string_view path, FileError* error = nullptr);
bool DeleteFile(std::string_view path, FileError* error = nullptr);
// Size in bytes, or -1 when the file cannot be examined (missing, or a folder).
std::int64_t FileSize(std::string_view path);
// Copies the contents of a regular file. With `fail_if_exists` an existing target is left
// untouched and the call fails with AlreadyExists. The copy is written to a temporary name in
// the target folder and renamed into place, so a reader never sees half of it.
bool CopyFile(std::string_view from, std::string_view to, bool fail_if_exists,
              FileError* error = nullptr);
// Renames within one volume, replacing nothing: fails with AlreadyExists if `to` exists.
bool MoveFile(std::string_view from, std::string_view to, FileError* error = nullptr);

// An open file, closed by the destructor. Reads and writes go straight to the host (no
// user-space buffer), so another File or process opened on the same path sees every byte
// a successful Write returned for; Flush() additionally makes them survive a power cut.
class File {
 public:
  enum class Mode {
    Read,          // existing file, read only
    ReadWrite,     // existing file, read and write, position 0
    CreateAlways,  // create or truncate, read and write
    CreateNew,     // create; AlreadyExists if present
    OpenAlways,    // open or create without truncating, read and write
  };
  enum class Origin { Begin, Current, End };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` (closing a file already open). On failure the object stays closed.
  bool Open(std::string_view path, Mode mode, FileError* error = nullptr);
  // Closes; false when the host reports an error on close. Safe on a closed object.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // Host path of the open file ("" when closed).
  const std::string& HostPath() const { return host_path_; }

  // Reads up to `size` bytes at the current position; the count read (0 at the end),
  // or -1 on error.
  std::int64_t Read(void* buffer, std::size_t size);
  // Reads exactly `size` bytes; false (position unspecified) when fewer remain.
  bool ReadExact(void* buffer, std::size_t size);
  // Writes all `size` bytes at the current position. On failure part of the data may have
  // been written; the position is then after what was written and error() says why.
  bool Write(const void* data, std::size_t size);
  // Writes all `size` bytes at `offset` without moving the position (one call where a seek,
  // a write and a seek back would take three). Fails as Write does.
  bool WriteAt(std::int64_t offset, const void* data, std::size_t size);
  // The first `size` bytes of the file as memory shared with the file: what is stored there
  // is in the file's cached pages at once, exactly as a WriteAt(0, ...) of the same bytes
  // would put it (so a process killed afterwards leaves it in the file), without a system
  // call. The file must be at least `size` bytes long and stay so while mapped; the mapping
  // ends at Close or UnmapHead. Null when the host refuses one (write with WriteAt then).
  // Stores through it do not count against a test's write limit: the bytes are already the
  // file's.
  unsigned char* MapHead(std::size_t size);
  void UnmapHead();
  // Moves the position; returns the new position, or -1 (position unchanged) on error,
  // including a resulting position below 0. A position past the end is allowed.
  std::int64_t Seek(std::int64_t offset, Origin origin);
  std::int64_t Tell() const;
  // Current size in bytes, or -1 when not open.
  std::int64_t Size() const;
  // Sets the size (shorter cuts, longer adds zeros); the position is not moved.
  bool Truncate(std::int64_t size_bytes);
  // Commits written data and the file's size to storage (fsync), so a crash after this
  // returns keeps them.
  bool Flush();

  // Reason of the last failed call on this object.
  FileError error() const { return error_; }

 private:
  bool Fail(FileError error);

  int fd_ = -1;
  std::string host_path_;
  void* head_ = nullptr;  // MapHead's mapping, head_size_ bytes
  std::size_t head_size_ = 0;
  FileError error_ = FileError::None;
  // Bytes this file may still write before failing with DiskFull; negative = no limit. Set at
  // Open from the write limits installed by tests (SetWriteLimitForTesting).
  std::int64_t write_budget_ = -1;
};

// Makes every File opened afterwards on the host path `host_path` (exact text after
// ToHostPath) fail with DiskFull once it has written `bytes_allowed` bytes in total; the
// write that crosses the limit stores the part that fits. A negative `bytes_allowed`
// removes the limit. For tests that need a disk that fills up at a chosen byte.
void SetWriteLimitForTesting(const std::string& host_path, std::int64_t bytes_allowed);

// Whole file as bytes; false when it cannot be read.
bool ReadWholeFile(std::string_view path, std::string& contents, FileError* error = nullptr);
// Replaces the file with `contents` atomically: writes a temporary file in the same folder,
// commits it to storage, then renames it over the target. Readers see the old or the new
// contents, never a mixture; a crash leaves one of them.
bool ReplaceFileContents(std::string_view path, std::string_view contents,
                         FileError* error = nullptr);

}  // namespace platform
