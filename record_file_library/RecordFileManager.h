#pragma once
// The library's single object: the 48 capture slots, the recording index and the drive
// manager. Created when the library is loaded, destroyed when it is unloaded; at unload
// every open file is finished but not indexed.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "record_file_library/AviStreamWriter.h"
#include "record_file_library/DriveManager.h"
#include "record_file_library/RecordingIndex.h"

namespace stordane {

// One recording channel. The settings are atomics because the setters take no lock and
// may race a Create on another thread; the writer has its own lock.
struct CaptureSlot {
  std::atomic<std::uint32_t> compression{avi::kFccXvid};
  std::atomic<int> frame_rate{25};
  std::atomic<int> width{352};
  std::atomic<int> height{240};
  // Set from before a close finishes the file until its entry is written, so the recovery
  // pass never enters a file its slot is about to enter.
  std::atomic<bool> closing{false};
  AviStreamWriter writer;
};

class RecordFileManager {
 public:
  static constexpr int kSlots = 48;

  RecordFileManager();
  ~RecordFileManager();
  RecordFileManager(const RecordFileManager&) = delete;
  RecordFileManager& operator=(const RecordFileManager&) = delete;

  // The process-wide instance.
  static RecordFileManager& Instance();

  static bool IsSlot(int index) { return index >= 0 && index < kSlots; }

  unsigned SetCapSize(int index, int width, int height);
  unsigned SetCapFrameRate(int index, int frame_rate);
  unsigned SetCapCompression(int index, int compression);
  unsigned CreateFile(int index, const char* file_name);
  unsigned WriteFrame(int index, const unsigned char* data, int size, int frame_type);
  unsigned CloseFile(int index);
  unsigned FileTimeLength(int index) const;

  DriveManager& Drives() { return drives_; }
  RecordingIndex& Index() { return index_; }

 private:
  // True when a slot holds `path` open or is closing it (compared as host paths).
  bool IsRecording(const std::string& path) const;

  // The 48 capture slots, addressed by the caller's decoder number.
  std::array<CaptureSlot, kSlots> slots_;
  RecordingIndex index_;
  DriveManager drives_;
};

}  // namespace stordane
