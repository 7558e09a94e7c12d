#pragma once

// Paths and drives.
//
// The system builds and stores Windows-form paths ("D:\VIDEO\10.0.0.5[SVR8000]\...") and keeps
// them byte for byte in its index files; only at the file-system call does a path become a host
// path. A drive letter maps to a host folder through the process-wide drive table:
//
//   1. KORVEL_DRIVES in the environment, "C=/x;D=/y" (optionally ";System=C"), if set;
//   2. otherwise Drives.ini in the program folder:  [Drives] C=/dir  D=/dir   [System] Drive=C
//      (for a program folder its user may not write, the user's configuration folder; see
//      UserFiles.h);
//   3. otherwise C and D under $XDG_DATA_HOME/korvel/ (fallback ~/.local/share/korvel/); an
//      installed program then writes this default table to the user's Drives.ini.
//
// The table is loaded on first use and is shared by every library of the process (this file is
// part of libplatform.so). All functions here may be called from any thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Drive types with the values the system's callers compare against.
inline constexpr unsigned kDriveUnknown = 0;
inline constexpr unsigned kDriveNoRootDir = 1;
inline constexpr unsigned kDriveRemovable = 2;
inline constexpr unsigned kDriveFixed = 3;
inline constexpr unsigned kDriveRemote = 4;
inline constexpr unsigned kDriveCdrom = 5;
inline constexpr unsigned kDriveRamdisk = 6;

struct DriveMapping {
  DriveMapping() = default;
  DriveMapping(char drive_letter, std::string host_root, std::string volume_label = {})
      : letter(drive_letter), root(std::move(host_root)), label(std::move(volume_label)) {}

  char letter = 0;    // upper case 'A'..'Z'
  std::string root;   // host folder standing for "<letter>:\", absolute, no trailing '/'
  std::string label;  // volume label; "" for a volume without one
};

struct DriveTable {
  std::vector<DriveMapping> drives;  // fixed drives in the order the system lists them
  char system_drive = 'C';           // letter of the drive holding the system folder
};

// Parses the KORVEL_DRIVES form "C=/x;D=/y[;System=C]". Entries that are not a single letter
// followed by '=' and an absolute folder are skipped. Letters are kept in the order written;
// a letter given twice keeps its first folder. Returns nullopt when no drive remains.
std::optional<DriveTable> ParseDriveList(std::string_view text);

// Reads a Drives.ini file (host path). nullopt when the file is missing or names no drive.
// Keys of [Drives] are listed in file order; [Labels] X=text gives volume labels.
std::optional<DriveTable> ReadDrivesIni(const std::string& host_path);

// The table the process uses now (loads it on first use as described at the top).
DriveTable CurrentDriveTable();

// Installs `table` for the whole process (tests, tools). Letters are upper-cased and roots
// lose trailing '/'. Does not create the root folders.
void SetDriveTable(const DriveTable& table);

// Forgets an installed or loaded table; the next use loads it again from the configuration.
void ResetDriveTable();

// Host folder of drive `letter` (any case), or "" when the letter is not configured.
std::string DriveRoot(char letter);

// Windows-form path -> host path. "X:\a\b" (or "X:/a/b", "X:") maps to "<root of X>/a/b"; a
// letter that is not configured maps to a path below "/dev/null/" so that every file
// operation on it fails cleanly (as NotFound). Any other path has '\' turned into '/'. Repeated
// separators collapse. When the path does not exist as written, each existing component is
// matched without case (ASCII letters only, as GBK trail bytes must stay exact); components
// that do not exist are kept as written, so a path for a file about to be created keeps the
// case of its new part.
std::string ToHostPath(std::string_view windows_path);

// Host path -> Windows form: below a drive root gives "X:\a\b" (the root itself "X:\");
// any other path keeps its text with '/' turned into '\'. Paths are made absolute first.
std::string ToWindowsPath(std::string_view host_path);

// Fills `buffer` with "C:\<0>D:\<0><0>" for the configured drives in order. Returns the
// length without the final terminating zero (4 per drive); when `buffer_size` is too small,
// writes nothing and returns the size needed including that zero. `buffer` may be null
// when `buffer_size` is 0.
std::uint32_t GetLogicalDriveStrings(std::uint32_t buffer_size, char* buffer);

// Roots of the configured drives in order, each "X:\".
std::vector<std::string> LogicalDriveRoots();

// kDriveFixed for a configured letter whose root is "X:", "X:\" or "X:/" (any case),
// kDriveNoRootDir otherwise (also for an empty or malformed root).
unsigned GetDriveType(std::string_view root);

struct DiskSpace {
  std::uint64_t free_bytes_available = 0;  // free space available to the caller
  std::uint64_t total_bytes = 0;           // size of the volume
  std::uint64_t total_free_bytes = 0;      // free space of the volume
};

// Answers the space of the volume holding `host_root`; false when it cannot be queried.
using DiskSpaceProvider = std::function<bool(const std::string& host_root, DiskSpace& space)>;

// Replaces how disk space is measured (tests inject sizes). An empty function restores the
// default, statvfs of the host root. Returns the provider that was installed before.
DiskSpaceProvider SetDiskSpaceProvider(DiskSpaceProvider provider);

// Space of the drive whose root is `root` ("X:\" form, also any folder path on the drive).
// False when the drive is not configured or its space cannot be queried; `space` is then
// left unchanged.
bool GetDiskFreeSpace(std::string_view root, DiskSpace& space);

// Space of the host file system holding `host_folder`, a host path that need not exist yet:
// its nearest existing folder is measured (and handed to an installed provider). False when
// the path is not absolute or nothing of it can be queried; `space` is then left unchanged.
bool GetFolderFreeSpace(const std::string& host_folder, DiskSpace& space);

// Label of the volume of drive `root` ("X:\"); false when the drive is not configured.
bool GetVolumeLabel(std::string_view root, std::string& label);

// "C:\WINDOWS\system32" with the system drive's letter; its first three characters are the
// root of the system drive.
std::string SystemFolder();
char SystemDriveLetter();
// "C:\WINDOWS" on the system drive: where a profile file named without a folder lives.
std::string WindowsFolder();
std::string SystemDriveRoot();  // "C:\"

// Folder of the running executable (from /proc/self/exe), without a trailing separator.
// ProgramFolder() gives the Windows form (see ToWindowsPath), so that callers can join
// "\Setting.ini" to it and still reach the same file; ProgramFolderHost() the host form.
std::string ProgramFolder();
std::string ProgramFolderHost();
// Full path of the running executable in Windows form.
std::string ModuleFileName();

}  // namespace platform
