#include "record_file_library/DealDriversThread.h"

// Lock order: the index lock (held while the current index file is edited), then a slot
// writer's lock (taken by the recording check).

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "record_file_library/DriveManager.h"
#include "record_file_library/RecordingIndex.h"

namespace stordane {
namespace {

constexpr std::uint64_t kWorkingMarginMb = 5;
constexpr std::uint64_t kSwitchExtraMb = 25;
constexpr std::uint64_t kLowSpaceMb = 200;
constexpr int kMaxDeletionSteps = 100;
constexpr int kMaxFolderDepth = 16;  // a recording tree is four levels deep

const char kMainIndexName[] = "FileInfo.ini";

std::string NumberedIndex(const std::string& date_folder, int number) {
  return date_folder + "\\FileInfo" + std::to_string(number) + ".ini";
}

int IndexCount(const std::string& index) {
  return platform::GetPrivateProfileInt("FileCount", "nCount", 0, index.c_str());
}

// Numbered index files of a date folder as its main index counts them. A day never needs
// more than RecordingIndex::kMaxIndexFiles, so a larger count is damage and only that many
// are looked at: the worker would otherwise probe up to 2^31 file names in one pass.
int IndexFileCount(const std::string& index) {
  const int files = platform::GetPrivateProfileInt("FileCount", "FileCount", 0, index.c_str());
  if (files > RecordingIndex::kMaxIndexFiles) {
    TraceMessage("%s: FileCount %d, only %d index files read", index.c_str(), files, RecordingIndex::kMaxIndexFiles);
    return RecordingIndex::kMaxIndexFiles;
  }
  return files;
}

std::string NameOf(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Start hour of the recording an index key names (characters 11-12 of its file name), or
// -1 when the key does not hold a dated file name; such an entry is never deleted.
int HourOfKey(const std::string& key) {
  const std::string name = NameOf(ParentPath(key));
  if (name.size() < 13) return -1;
  const char tens = name[11];
  const char ones = name[12];
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return -1;
  return (tens - '0') * 10 + (ones - '0');
}

// Year, month and day of a date folder name such as "2010_01_05", for ordering.
std::string DateKey(const std::string& name) {
  return name.substr(0, 4) + name.substr(5, 2) + name.substr(8, 2);
}

// Inserts a date folder name into `dates`, kept ascending by year, month and day, each date once.
void InsertDate(std::vector<std::string>& dates, const std::string& name) {
  const std::string key = DateKey(name);
  auto at = std::lower_bound(dates.begin(), dates.end(), key, [](const std::string& listed, const std::string& wanted) {
    return DateKey(listed) < wanted;
  });
  if (at == dates.end() || DateKey(*at) != key) dates.insert(at, name);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Drops the lines of `keys` from the [FileInfo] section in one rewrite of the file, instead
// of one rewrite per key: a step may remove thousands of entries.
bool RemoveIndexKeys(const std::string& index, const std::vector<std::string>& keys) {
  std::string text;
  if (!platform::ReadWholeFile(index, text)) return false;
  const std::unordered_set<std::string> doomed(keys.begin(), keys.end());
  std::string out;
  out.reserve(text.size());
  bool in_entries = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view line(text.data() + pos, end - pos);
    pos = end;
    const std::string_view body = TrimBlanks(line.substr(0, line.size() - (line.back() == '\n' ? 1 : 0)));
    if (!body.empty() && body.front() == '[') {
      std::string_view inner = body.substr(1);
      inner = inner.substr(0, inner.find(']'));
      in_entries = platform::EqualsNoCase(TrimBlanks(inner), "FileInfo");
    } else if (in_entries) {
      const std::size_t eq = body.find('=');
      if (eq != std::string_view::npos && doomed.count(std::string(TrimBlanks(body.substr(0, eq))))) continue;
    }
    out.append(line);
  }
  return platform::ReplaceFileContents(index, out);
}

}  // namespace

DealDriversThread::DealDriversThread(DriveManager& manager) : manager_(manager) {}

DealDriversThread::~DealDriversThread() { KillThread(); }

std::uint32_t DealDriversThread::Run() {
  const std::uint32_t interval_ms = std::max<std::uint32_t>(1, manager_.Settings().pass_interval_ms);
  const bool configured = !manager_.Drivers().Letters().empty();
  while (!IsStopRequested()) {
    platform::Event* stop = StopEvent();
    if (stop == nullptr || platform::WaitForOne(stop, interval_ms) != platform::WAIT_TIMEOUT) break;
    if (IsStopRequested()) break;
    if (configured) Pass();
  }
  return 0;
}

void DealDriversThread::Notify(unsigned message) {
  if (OX_DRIVER_MSG_CB callback = manager_.Callback()) callback(message, 0, 0);
}

void DealDriversThread::Pass() {
  DriverSet& drivers = manager_.Drivers();
  const DriveManagerSettings& settings = manager_.Settings();
  const std::uint64_t required_mb = static_cast<std::uint64_t>(std::max(0, settings.reserve_mb)) + kWorkingMarginMb;
  df_hours_ = settings.df_hours;
  int steps = 0;

  while (drivers.GetCurDiskSpace() < required_mb && !IsStopRequested()) {
    TraceMessage("Current Disk:%s", drivers.CurrentRoot().c_str());
    if (drivers.Switch(required_mb + kSwitchExtraMb)) {
      TraceMessage("DRIVER_SWITCH:%s", drivers.CurrentRoot().c_str());
      if (manager_.Callback()) {
        manager_.ExchangeSuspended(0);
        Notify(OX_MSG_DRIVER_SWITCH);
      }
      continue;
    }
    if (drivers.GetCurDiskSpace() < kLowSpaceMb) {
      TraceMessage("m_pDriver->GetCurDiskSpace() < 200");
      if (!manager_.IsSuspended() && manager_.Callback()) {
        manager_.ExchangeSuspended(1);
        Notify(OX_MSG_NO_SPACE);
      }
    }
    if (steps >= kMaxDeletionSteps || settings.no_space == 1) {
      TraceMessage("nDeleteFile >= 100 || m_nNoSpace == 1");
      if (!manager_.IsSuspended() && manager_.Callback()) {
        manager_.ExchangeSuspended(1);
        Notify(OX_MSG_NO_SPACE);
      }
      break;
    }
    TraceMessage("start::nDeleteFile:%d, m_nDFHours:%d", steps, df_hours_);
    ScanDateFolders();
    DeletionStep(df_hours_);
    ++steps;
    // The first step removes the oldest H hours; later steps widen the window.
    if (steps == 1) df_hours_ = (2 * df_hours_) % 24;
    TraceMessage("end::nDeleteFile:%d, m_nDFHours:%d", steps, df_hours_);
  }

  if (drivers.GetCurDiskSpace() >= required_mb && manager_.IsSuspended()) {
    TraceMessage("SuspendRecord(FALSE)");
    manager_.ExchangeSuspended(0);
  }
}

void DealDriversThread::ScanDateFolders() {
  date_list_.clear();
  std::vector<std::string> unindexed;
  for (char letter : manager_.Drivers().Letters()) {
    const std::string video = std::string(1, letter) + ":\\video";
    if (!platform::IsFolder(video)) continue;
    for (const platform::FindData& found : platform::FindFiles(video + "\\*")) {
      if (!found.is_folder || found.name.size() != 10 || found.name.front() == '.') continue;
      const std::string folder = video + "\\" + found.name;
      if (!platform::Exists(folder + "\\" + kMainIndexName)) {
        unindexed.push_back(folder);
        continue;
      }
      InsertDate(date_list_, found.name);
    }
  }
  // A date folder without its index holds nothing the playback side can find, unless its
  // recordings were only left unentered (a full drive, a recorder that ended unclosed): the
  // recovery pass enters them first, and a folder that has its index then is kept. One whose
  // recordings could not be entered yet (the drive still too full for the index) is kept
  // for a later scan rather than deleted with them.
  for (const std::string& folder : unindexed) {
    const bool complete = manager_.Index().RecoverDateFolder(folder);
    if (platform::Exists(folder + "\\" + kMainIndexName)) {
      InsertDate(date_list_, NameOf(folder));
      continue;
    }
    if (!complete) continue;
    platform::DeleteFile(folder + "\\" + kMainIndexName);
    DeleteFolderTree(folder);
    RemoveEmptyFoldersUpward(folder);
  }
}

void DealDriversThread::DeleteFolderTree(const std::string& folder) {
  struct Level {
    std::string folder;
    int depth;
  };
  // Depth-first without recursion, deepest folders removed first.
  std::vector<Level> pending{{folder, 0}};
  std::vector<std::string> folders;
  while (!pending.empty()) {
    const Level level = pending.back();
    pending.pop_back();
    folders.push_back(level.folder);
    for (const platform::FindData& found : platform::FindFiles(level.folder + "\\*")) {
      const std::string path = level.folder + "\\" + found.name;
      if (found.is_folder) {
        if (level.depth < kMaxFolderDepth) pending.push_back({path, level.depth + 1});
      } else if (!manager_.IsRecording(path)) {
        // A file a capture slot is still writing is kept; its folder then stays too.
        platform::DeleteFile(path);
      }
    }
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) platform::RemoveFolder(*it);
}

void DealDriversThread::RemoveDateFolders(const std::string& date_folder) {
  char buffer[8];
  for (int channel = 1; channel <= 24; ++channel) {
    for (int hour = 0; hour <= 23; ++hour) {
      std::snprintf(buffer, sizeof(buffer), "%02d\\%02d", channel, hour);
      RemoveEmptyFoldersUpward(date_folder + "\\" + buffer);
    }
  }
}

void DealDriversThread::TakeIndexes(const std::string& date, int* reference, int hours,
                                    bool first_date, std::vector<TakenIndex>& taken) {
  for (char letter : manager_.Drivers().Letters()) {
    const std::string folder = std::string(1, letter) + ":\\video\\" + date;
    std::string index = folder + "\\" + kMainIndexName;
    if (!platform::Exists(index)) continue;
    if (IndexCount(index) == 0) {
      const int files = IndexFileCount(index);
      std::string numbered;
      for (int i = 0; i < files; ++i) {
        if (platform::Exists(NumberedIndex(folder, i))) {
          numbered = NumberedIndex(folder, i);
          break;
        }
      }
      if (numbered.empty()) continue;
      index = numbered;
    }
    const std::vector<std::string> keys = platform::ProfileKeyNames(index, "FileInfo");
    if (keys.empty()) continue;
    const int hour = HourOfKey(keys.front());
    if (hour < 0) continue;
    if (first_date && *reference < 0) {
      *reference = hour;
      taken.push_back({index});
    } else if (hour < (first_date ? *reference + hours : (*reference + hours) % 24)) {
      taken.push_back({index});
    }
  }
}

void DealDriversThread::DeletionStep(int hours) {
  if (date_list_.empty()) return;
  int reference = -1;
  std::vector<TakenIndex> taken;
  TakeIndexes(date_list_.front(), &reference, hours, true, taken);
  if (reference < 0) return;
  for (const TakenIndex& index : taken) DeleteFromIndex(index.path, reference + hours);
  // A window running past midnight continues into the next date.
  if (reference + hours > 24 && date_list_.size() > 1) {
    TakeIndexes(date_list_[1], &reference, hours, false, taken);
  }
  for (const TakenIndex& index : taken) DeleteFromIndex(index.path, (reference + hours) % 24);
}

void DealDriversThread::DeleteFromIndex(const std::string& index, int hour_limit) {
  RecordingIndex& recording_index = manager_.Index();
  // The index the capture threads append to is read and changed only under their lock.
  std::unique_lock<platform::CriticalSection> guard(recording_index.Lock());
  const bool is_current = platform::EqualsNoCase(recording_index.CurrentIndexPath(), index);
  if (!is_current) guard.unlock();

  const int stored_count = IndexCount(index);
  if (stored_count == 0) return;
  const std::vector<std::string> keys = platform::ProfileKeyNames(index, "FileInfo");
  // A damaged count below the entries really there (a negative one included) would have
  // the index dropped with entries of recordings that are kept.
  const int count = std::max(stored_count, static_cast<int>(std::min<std::size_t>(keys.size(), 0x7FFFFFFF)));
  std::vector<std::string> deleted;
  for (const std::string& key : keys) {
    const int hour = HourOfKey(key);
    if (hour < 0 || hour >= hour_limit) break;
    const std::string file = ParentPath(key);
    if (manager_.IsRecording(file)) break;
    platform::DeleteFile(file);
    TraceMessage("deleteFile:%s", file.c_str());
    deleted.push_back(key);
  }
  if (deleted.empty()) return;

  const int removed = static_cast<int>(deleted.size());
  const std::string date_folder = ParentPath(index);
  const bool is_main = platform::EqualsNoCase(NameOf(index), kMainIndexName);
  if (is_main) {
    const int files = IndexFileCount(index);
    bool emptied = removed >= count;
    if (!emptied) {
      RemoveIndexKeys(index, deleted);
      emptied = platform::ProfileKeyNames(index, "FileInfo").empty();
      if (!emptied) {
        platform::WritePrivateProfileString("FileCount", "nCount", std::to_string(count - removed).c_str(),
                                            index.c_str());
      }
    }
    if (emptied) {
      if (files > 0) {
        platform::WritePrivateProfileString("FileInfo", nullptr, nullptr, index.c_str());
        platform::WritePrivateProfileString("FileCount", "nCount", nullptr, index.c_str());
      } else {
        platform::DeleteFile(index);
        RemoveDateFolders(date_folder);
      }
    }
    return;
  }

  if (removed >= count) {
    platform::DeleteFile(index);
  } else {
    RemoveIndexKeys(index, deleted);
    if (!is_current && platform::ProfileKeyNames(index, "FileInfo").empty()) {
      platform::DeleteFile(index);
    } else {
      platform::WritePrivateProfileString("FileCount", "nCount", std::to_string(count - removed).c_str(),
                                          index.c_str());
    }
  }
  if (guard.owns_lock()) guard.unlock();

  // With its last numbered index gone, the date folder's main index goes too.
  const std::string main_index = date_folder + "\\" + kMainIndexName;
  const int files = IndexFileCount(main_index);
  for (int i = 0; i < files; ++i) {
    if (platform::Exists(NumberedIndex(date_folder, i))) return;
  }
  platform::DeleteFile(main_index);
  RemoveDateFolders(date_folder);
}

}  // namespace stordane
