#pragma once
// Shared pieces of the record-file library tests: a temporary drive D mapped into a fresh
// folder, recording paths in the capture naming, synthetic media and the ffprobe oracle.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace stordane_test {

// Maps drive D (and optionally E) to fresh temporary folders for the life of the object.
class TempDrives {
 public:
  explicit TempDrives(int drives = 1);
  ~TempDrives();
  TempDrives(const TempDrives&) = delete;
  TempDrives& operator=(const TempDrives&) = delete;

  // Host folder of drive 'D' + i.
  const std::string& Root(int i = 0) const { return roots_[static_cast<std::size_t>(i)]; }

 private:
  std::string base_;
  std::vector<std::string> roots_;
};

// "D:\video\2010_01_05\01\10\2010-01-05-101010 M101.avi" for the given start time; the
// folders are created.
std::string RecordingPath(char drive, const std::string& date, int channel, int hour, int minute,
                          int second);
// The same recording's host path.
std::string HostPath(const std::string& windows_path);

// One IMA ADPCM block of `bytes` bytes (whole 256-byte blocks with a valid header).
std::vector<unsigned char> AdpcmBlock(int bytes, unsigned char fill = 0x17);
// A fake compressed frame; the writer never looks inside.
std::vector<unsigned char> FakeFrame(int bytes, unsigned char fill);

// True when the ffprobe program can be run.
bool HaveFfprobe();
// Runs a shell command; its standard output.
std::string RunCommand(const std::string& command);
// ffprobe -show_streams -count_packets of a file: one key -> value map per stream.
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& host_path);

// Text of a file, "" when missing.
std::string ReadText(const std::string& host_path);
bool FileExists(const std::string& host_path);

}  // namespace stordane_test
