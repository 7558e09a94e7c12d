#include "record_file_library/RecordingIndex.h"

#include <algorithm>
#include <limits>
#include <exception>
#include <mutex>
#include <optional>

#include "common/AviDefs.h"
#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"

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

namespace {

// N of a numbered index name "FileInfoN.ini" (any case); -1 for any other name.
int NumberOfIndexFile(std::string_view name) {
  constexpr std::string_view kPrefix = "FileInfo";
  constexpr std::string_view kSuffix = ".ini";
  const std::size_t fixed = kPrefix.size() + kSuffix.size();
  if (name.size() <= fixed || name.size() > fixed + 9 || !platform::EqualsNoCase(name.substr(0, kPrefix.size()), kPrefix) ||
      !platform::EqualsNoCase(name.substr(name.size() - kSuffix.size()), kSuffix)) {
    return -1;
  }
  int number = 0;
  for (const char digit : name.substr(kPrefix.size(), name.size() - fixed)) {
    if (digit < '0' || digit > '9') return -1;
    number = number * 10 + (digit - '0');
  }
  return number;
}

// Applies the small-file rule to `path`: true when the file was too small (or could not be
// examined) and is gone, with the folders above it as far as they were left empty.
bool RemovedAsTooSmall(const std::string& path) {
  const std::int64_t size = platform::FileSize(path);
  if (size > RecordingIndex::kSmallFileBytes) return false;
  TraceMessage("File Too Small: %s, Size(KB): %d", path.c_str(), static_cast<int>(size < 0 ? 0 : size / 1024));
  platform::DeleteFile(path);
  RemoveEmptyFoldersUpward(ParentPath(path));
  return true;
}

// Playing time of a recording of this library, read from its header the way the writer
// counts it at close (whole seconds, plus one once a frame is in); nothing when the file
// does not begin as one (a stranger's file, or a header never written).
std::optional<unsigned> RecordingSeconds(const std::string& path) {
  struct Head {
    avi::AviListHeader riff;
    avi::AviListHeader hdrl;
    avi::AviChunkHeader avih;
    avi::AviMainHeader main;
  } head{};
  platform::File file;
  if (!file.Open(path, platform::File::Mode::Read) || !file.ReadExact(&head, sizeof head)) return std::nullopt;
  if (head.riff.fcc != avi::kFccRiff || head.riff.type != avi::kFccAvi || head.hdrl.fcc != avi::kFccList ||
      head.hdrl.type != avi::kFccHdrl || head.avih.fcc != avi::kFccAvih || head.avih.size < sizeof head.main) {
    return std::nullopt;
  }
  if (head.main.dwTotalFrames == 0) return 0u;
  const std::uint64_t seconds =
      std::uint64_t{head.main.dwTotalFrames} * head.main.dwMicroSecPerFrame / 1000000u + 1u;
  return static_cast<unsigned>(std::min<std::uint64_t>(seconds, 0x7FFFFFFF));
}

}  // namespace

void RecordingIndex::AddToFileInfo(const std::string& path, unsigned seconds) {
  const std::size_t cut = path.rfind('\\');
  if (path.empty() || cut == std::string::npos) return;
  const std::string name = path.substr(cut + 1);
  if (RemovedAsTooSmall(path)) return;
  if (name.empty()) return;
  try {
    AddLocked(path, name, seconds);
  } catch (const std::exception&) {
    TraceMessage("Err in AddToFileInfo");
  }
}

bool RecordingIndex::RecoverDateFolder(const std::string& date_folder) {
  try {
    std::lock_guard<platform::CriticalSection> guard(lock_);
    if (!RecoverLocked(date_folder, std::string(), std::string())) {
      failed_folders_.insert(date_folder);
      return false;
    }
    failed_folders_.erase(date_folder);
    return true;
  } catch (const std::exception&) {
    TraceMessage("Err in AddToFileInfo");
    return false;
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
  std::lock_guard<platform::CriticalSection> guard(lock_);
  // Folders that missed an entry are tried again with every later entry, wherever it goes:
  // the room it needed may be back, and that folder may never see another close.
  for (auto it = failed_folders_.begin(); it != failed_folders_.end();) {
    if (RecoverLocked(*it, path, std::string())) {
      it = failed_folders_.erase(it);
    } else {
      ++it;
    }
  }
  // What an earlier run of the recorder left unentered is looked for once per channel
  // folder: the channel's own folder is all a close may take the time to walk.
  const std::string channel_folder = ParentPath(ParentPath(path));
  if (recovered_channels_.count(channel_folder) == 0) {
    if (RecoverLocked(date_folder, path, channel_folder.substr(date_folder.size() + 1))) {
      recovered_channels_.insert(channel_folder);
    } else {
      failed_folders_.insert(date_folder);
    }
  }
  if (!EnterLocked(date_folder, path, name, seconds)) {
    TraceMessage("Not entered into FileInfo: %s", path.c_str());
    failed_folders_.insert(date_folder);
  }
}

bool RecordingIndex::EnterLocked(const std::string& date_folder, const std::string& path, const std::string& name,
                                 unsigned seconds) {
  const std::string main_index = date_folder + "\\FileInfo.ini";
  const std::string key = path + "\\" + std::to_string(seconds);
  const std::string stamp = name.size() > 11 ? name.substr(11, 3) : std::string();

  // A damaged count starts the numbering again rather than writing where no reader looks.
  int files = platform::GetPrivateProfileInt("FileCount", "FileCount", 0, main_index.c_str());
  if (files <= 0 || files > kMaxIndexFiles) {
    if (!platform::WritePrivateProfileString("FileCount", "FileCount", "1", main_index.c_str())) return false;
    files = 1;
  }

  current_index_path_ = date_folder + "\\FileInfo" + std::to_string(files - 1) + ".ini";
  // A damaged entry count reads as empty when negative (a count of 0 would hide the file from
  // the search). An index past its 5000 entries keeps counting while its ten-minute slot lasts
  // (a count held at 5001 would hide every file entered after it); only a count that adding
  // one would overflow is held.
  const int entries = std::clamp(platform::GetPrivateProfileInt("FileCount", "nCount", 0, current_index_path_.c_str()),
                                 0, std::numeric_limits<int>::max() - 1);
  int count = entries + 1;
  // A full index is closed only when a new ten-minute slot begins, so the files of one slot
  // stay in one index file.
  if (entries >= kEntriesPerIndex && stamp > last_stamp_) {
    if (!platform::WritePrivateProfileString("FileCount", "FileCount", std::to_string(files + 1).c_str(),
                                             main_index.c_str())) {
      return false;
    }
    current_index_path_ = date_folder + "\\FileInfo" + std::to_string(files) + ".ini";
    count = 1;
  }
  // Without its count the entry would be skipped by the search: it is left to the recovery
  // pass instead, which finds it missing.
  if (!platform::WritePrivateProfileString("FileCount", "nCount", std::to_string(count).c_str(),
                                           current_index_path_.c_str())) {
    return false;
  }
  if (!platform::WritePrivateProfileString("FileInfo", key.c_str(), "FI", current_index_path_.c_str()) &&
      !platform::WritePrivateProfileString("FileInfo", key.c_str(), "FI", current_index_path_.c_str())) {
    return false;
  }
  last_stamp_ = stamp;
  return true;
}

bool RecordingIndex::RecoverLocked(const std::string& date_folder, const std::string& skip,
                                   const std::string& only_channel) {
  // What the folder's index files name, whatever their counts claim. Keys keep the spelling
  // of the path their recorder gave, so names compare without case.
  std::set<std::string, NoCaseLess> named;
  int last_numbered = -1;
  for (const platform::FindData& found : platform::FindFiles(date_folder + "\\FileInfo*.ini")) {
    if (found.is_folder) continue;
    for (const std::string& key : platform::ProfileKeyNames(date_folder + "\\" + found.name, "FileInfo")) {
      named.insert(ParentPath(key));
    }
    const int number = NumberOfIndexFile(found.name);
    if (number < kMaxIndexFiles) last_numbered = std::max(last_numbered, number);
  }
  // A main index that lost its count (or never got it written) hides the numbered ones
  // from the search: the count is made to cover every numbered index that is there.
  const std::string main_index = date_folder + "\\FileInfo.ini";
  const int files = platform::GetPrivateProfileInt("FileCount", "FileCount", 0, main_index.c_str());
  if (last_numbered >= 0 && (files <= last_numbered || files > kMaxIndexFiles) &&
      !platform::WritePrivateProfileString("FileCount", "FileCount", std::to_string(last_numbered + 1).c_str(),
                                           main_index.c_str())) {
    return false;
  }

  struct Missing {
    std::string name;
    std::string path;
  };
  std::vector<Missing> missing;
  for (const platform::FindData& channel :
       platform::FindFiles(date_folder + "\\" + (only_channel.empty() ? std::string("*") : only_channel))) {
    if (!channel.is_folder) continue;
    const std::string channel_folder = date_folder + "\\" + channel.name;
    for (const platform::FindData& hour : platform::FindFiles(channel_folder + "\\*")) {
      if (!hour.is_folder) continue;
      const std::string hour_folder = channel_folder + "\\" + hour.name;
      for (const platform::FindData& file : platform::FindFiles(hour_folder + "\\*.avi")) {
        if (file.is_folder) continue;
        std::string path = hour_folder + "\\" + file.name;
        if (platform::EqualsNoCase(path, skip) || named.count(path) != 0) continue;
        if (is_recording_ && is_recording_(path)) continue;
        missing.push_back({file.name, std::move(path)});
      }
    }
  }
  // Entries go in by start time, as closes would have made them.
  std::sort(missing.begin(), missing.end(),
            [](const Missing& a, const Missing& b) { return a.name != b.name ? a.name < b.name : a.path < b.path; });

  bool complete = true;
  for (const Missing& file : missing) {
    const std::optional<unsigned> seconds = RecordingSeconds(file.path);
    if (!seconds || RemovedAsTooSmall(file.path)) continue;
    if (EnterLocked(date_folder, file.path, file.name, *seconds)) {
      TraceMessage("Entered into FileInfo later: %s", file.path.c_str());
    } else {
      TraceMessage("Not entered into FileInfo: %s", file.path.c_str());
      complete = false;
    }
  }
  return complete;
}

}  // namespace stordane
