#pragma once

// Writes a channel's compressed pictures, unchanged, into MPEG-4 elementary stream files in a
// local folder, beginning each file at a key frame and starting a new file at the first key
// frame after the current one has reached the split size.

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane {

class StreamRecorder {
 public:
  ~StreamRecorder();

  // `host_folder` must exist. `channel` from 0 names the files "CH<channel+1>_...".
  void Start(const std::string& host_folder, int channel, uint64_t split_bytes);
  // Closes the current file; the recorder is idle afterwards.
  void Stop();
  bool active() const { return active_; }

  // False once a file could not be created or written (the recording then stops and the
  // failure is traced once).
  bool Write(const uint8_t* data, size_t size, bool key);

  // Host path of the file being written, "" before the first key frame.
  const std::string& current_path() const { return path_; }

 private:
  bool OpenNext();

  std::string folder_;
  int channel_ = 0;
  uint64_t split_bytes_ = 0;
  bool active_ = false;
  FILE* file_ = nullptr;
  std::string path_;
  uint64_t written_ = 0;
};

}  // namespace orvane
