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
// Threads: AddToFileInfo runs on any capture thread; the drive-manager worker edits the
// current index file under the same lock (see Lock()).

#include <string>

#include "platform/Sync.h"

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

  // Enters `path` with its playing time, or deletes it when it is too small. Never throws;
  // a failure leaves the trace line "Err in AddToFileInfo".
  void AddToFileInfo(const std::string& path, unsigned seconds);

  // The lock that guards the current index path and every change to that file.
  platform::CriticalSection& Lock() { return lock_; }
  // The numbered index written last ("" before the first entry). Call with Lock() held.
  const std::string& CurrentIndexPath() const { return current_index_path_; }

 private:
  void AddLocked(const std::string& path, const std::string& name, unsigned seconds);

  platform::CriticalSection lock_;
  // Guarded by lock_.
  std::string current_index_path_;
  std::string last_stamp_;  // characters 11-13 of the name entered last: hour and ten minutes
};

// Removes `folder` if it is an empty folder, then its parent, and so on upwards; stops at
// the first folder that cannot be removed and never removes a drive root ("X:").
void RemoveEmptyFoldersUpward(std::string folder);

// `path` without its last backslash and what follows; "" when it has none.
std::string ParentPath(const std::string& path);

}  // namespace stordane
