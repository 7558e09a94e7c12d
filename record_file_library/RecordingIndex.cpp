#include "record_file_library/RecordingIndex.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace stordane {

std::string ParentPath(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

namespace {

// "X:" or "X:\": a drive root is never removed, whatever the host would allow.
bool IsDriveRoot(const std::string& folder) {
  return folder.size() <= 3 && folder.size() >= 2 && folder[1] == ':';
}

}  // namespace

void RemoveEmptyFoldersUpward(std::string folder) {
  while (!folder.empty() && !IsDriveRoot(folder)) {
    if (platform::IsFolder(folder) && !platform::RemoveFolder(folder)) return;
    const std::size_t cut = folder.rfind('\\');
    if (cut == std::string::npos) return;
    folder.resize(cut);
  }
}

void RecordingIndex::AddToFileInfo(const std::string& path, unsigned seconds) {
  const std::size_t cut = path.rfind('\\');
  if (path.empty() || cut == std::string::npos) return;
  const std::string folder = path.substr(0, cut);
  const std::string name = path.substr(cut + 1);

  const std::int64_t size = platform::FileSize(path);
  if (size <= kSmallFileBytes) {
    TraceMessage("File Too Small: %s, Size(KB): %d", path.c_str(),
                 static_cast<int>(size < 0 ? 0 : size / 1024));
    platform::DeleteFile(path);
    RemoveEmptyFoldersUpward(folder);
    return;
  }
  if (name.empty()) return;
  try {
    AddLocked(path, name, seconds);
  } catch (const std::exception&) {
    TraceMessage("Err in AddToFileInfo");
  }
}

void RecordingIndex::AddLocked(const std::string& path, const std::string& name, unsigned seconds) {
  // The index lives two folders above the file (date\channel\hour\name). A path too short
  // for that would put it at a drive root or outside any drive, so it is not indexed.
  const std::string date_folder = ParentPath(ParentPath(ParentPath(path)));
  if (date_folder.empty()) {
    TraceMessage("Err in AddToFileInfo");
    return;
  }
  const std::string main_index = date_folder + "\\FileInfo.ini";
  const std::string key = path + "\\" + std::to_string(seconds);
  const std::string stamp = name.size() > 11 ? name.substr(11, 3) : std::string();

  // A damaged count starts the numbering again rather than writing where no reader looks.
  int files = platform::GetPrivateProfileInt("FileCount", "FileCount", 0, main_index.c_str());
  if (files <= 0 || files > kMaxIndexFiles) {
    platform::WritePrivateProfileString("FileCount", "FileCount", "1", main_index.c_str());
    files = 1;
  }

  std::lock_guard<platform::CriticalSection> guard(lock_);
  current_index_path_ = date_folder + "\\FileInfo" + std::to_string(files - 1) + ".ini";
  // A damaged entry count reads as empty when negative (a count of 0 would hide the file from
  // the search) and as full when too large (so adding one cannot overflow).
  const int entries = std::clamp(
      platform::GetPrivateProfileInt("FileCount", "nCount", 0, current_index_path_.c_str()), 0, kEntriesPerIndex);
  int count = entries + 1;
  // A full index is closed only when a new ten-minute slot begins, so the files of one slot
  // stay in one index file.
  if (entries >= kEntriesPerIndex && stamp > last_stamp_) {
    platform::WritePrivateProfileString("FileCount", "FileCount", std::to_string(files + 1).c_str(),
                                        main_index.c_str());
    current_index_path_ = date_folder + "\\FileInfo" + std::to_string(files) + ".ini";
    count = 1;
  }
  platform::WritePrivateProfileString("FileCount", "nCount", std::to_string(count).c_str(),
                                      current_index_path_.c_str());
  if (!platform::WritePrivateProfileString("FileInfo", key.c_str(), "FI", current_index_path_.c_str())) {
    platform::WritePrivateProfileString("FileInfo", key.c_str(), "FI", current_index_path_.c_str());
  }
  last_stamp_ = stamp;
}

}  // namespace stordane
