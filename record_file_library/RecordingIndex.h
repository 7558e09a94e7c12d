#pragma once
// The recording index: every closed recording is entered into the INI files of its date
// folder, which the playback application searches.
//
//   <date>\FileInfo.ini        [FileCount] FileCount=N   (number of numbered index files)
//   <date>\FileInfo<i>.ini     [FileCount] nCount=n      (entries in this file)
//                              [FileInfo]  <path of the AVI>\<seconds>=FI
//
// A recording lies in <date>\<channel>\<hour>\<name>; the index is found from the file's
// path alone (two folders up). Paths are kept in the Windows form the caller gave, byte for
// byte, because they are the keys the playback application looks up.
//
// Recovery: a recording the index misses (its entry could not be written on a full drive,
// or its recorder ended without closing it) is entered later by a recovery pass over its
// date folder: over the whole date folder after an entry there failed to be written (with
// every later entry, until it succeeds) and from the drive manager before it would delete a
// date folder as unindexed; over a channel folder the first time this process enters a file
// of that channel (what an earlier run left). A drive also keeps kKeptFreeBytes free of video
// (see AviFile), so the entry of a file closed on a full drive normally fits at once.
//
// Threads: AddToFileInfo runs on any capture thread; the drive-manager worker edits the
// current index file under the same lock (see Lock()).

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "platform/Sync.h"
#include "platform/TimeText.h"

namespace stordane {

class RecordingIndex {
 public:
  // A file of at most this many bytes holds no usable recording and is deleted at close.
  static constexpr long long kSmallFileBytes = 20480;
  // A numbered index is closed once it holds this many entries and a new ten-minute slot starts.
  static constexpr int kEntriesPerIndex = 5000;
  // A new numbered index is opened at most once per ten-minute slot, so a day never needs
  // more than this many; a larger count in FileInfo.ini is damage, and the readers stop there.
  static constexpr int kMaxIndexFiles = 1000;
  // Room a recording drive keeps free for the index: well above the rewrite of a full
  // numbered index (every write replaces the whole file, old and new exist for a moment).
  static constexpr std::uint64_t kKeptFreeBytes = 2ull << 20;

  // Tells which recordings a capture slot still owns (open, or closed and not entered yet);
  // the recovery pass leaves those to their slot. Set before the first entry, not changed
  // afterwards.
  void SetRecordingCheck(std::function<bool(const std::string&)> is_recording) {
    is_recording_ = std::move(is_recording);
  }

  // Enters `path` with its playing time, or deletes it when it is too small. Never throws;
  // a failure leaves the trace line "Err in AddToFileInfo".
  void AddToFileInfo(const std::string& path, unsigned seconds);

  // The recovery pass over one date folder (date\channel\hour\*.avi, Windows form): every
  // recording of this library that no index file of the folder names is entered, oldest
  // first, with the playing time its header gives, or deleted when too small, as a close
  // would. Other files and the recordings a slot owns are left alone. Returns false when an
  // entry could not be written (the folder is then tried again later). Never throws.
  bool RecoverDateFolder(const std::string& date_folder);

  // The lock that guards the current index path and every change to that file.
  platform::CriticalSection& Lock() { return lock_; }
  // The numbered index written last ("" before the first entry). Call with Lock() held.
  const std::string& CurrentIndexPath() const { return current_index_path_; }

 private:
  // Paths as the system compares them: ASCII letters without case. Index keys keep the
  // spelling their recorder gave, which need not be the spelling on disk.
  struct NoCaseLess {
    bool operator()(const std::string& left, const std::string& right) const {
      return platform::CompareNoCase(left, right) < 0;
    }
  };

  void AddLocked(const std::string& path, const std::string& name, unsigned seconds);
  // Enters one file of `date_folder`; false when the index was not written. lock_ held.
  bool EnterLocked(const std::string& date_folder, const std::string& path, const std::string& name,
                   unsigned seconds);
  // The recovery pass; `skip` is the file being entered by the caller and is left to it.
  // With `only_channel` (a channel folder's name) only that channel folder is walked.
  // lock_ held.
  bool RecoverLocked(const std::string& date_folder, const std::string& skip, const std::string& only_channel);

  std::function<bool(const std::string&)> is_recording_;  // Immutable after SetRecordingCheck
  platform::CriticalSection lock_;
  // Guarded by lock_.
  std::string current_index_path_;
  std::string last_stamp_;  // characters 11-13 of the name entered last: hour and ten minutes
  std::set<std::string, NoCaseLess> recovered_channels_;  // channel folders the pass completed
  std::set<std::string, NoCaseLess> failed_folders_;      // date folders with an entry missing
};

// Removes `folder` if it is an empty folder, then its parent, and so on upwards; stops at
// the first folder that cannot be removed and never removes a drive root ("X:").
void RemoveEmptyFoldersUpward(std::string folder);

// `path` without its last backslash and what follows; "" when it has none.
std::string ParentPath(const std::string& path);

}  // namespace stordane
