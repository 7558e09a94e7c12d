#include "StordaneTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace stordane_test {

TempDrives::TempDrives(int drives) {
  char pattern[] = "/tmp/stordane-test-XXXXXX";
  base_ = ::mkdtemp(pattern);
  platform::DriveTable table;
  for (int i = 0; i < drives; ++i) {
    const char letter = static_cast<char>('D' + i);
    roots_.push_back(base_ + "/" + letter);
    std::filesystem::create_directories(roots_.back());
    platform::DriveMapping drive;
    drive.letter = letter;
    drive.root = roots_.back();
    table.drives.push_back(drive);
  }
  platform::SetDriveTable(table);
}

TempDrives::~TempDrives() {
  platform::ResetDriveTable();
  std::error_code ignored;
  std::filesystem::remove_all(base_, ignored);
}

std::string RecordingPath(char drive, const std::string& date, int channel, int hour, int minute,
                          int second) {
  char folder[128];
  std::snprintf(folder, sizeof(folder), "%c:\\video\\%s\\%02d\\%02d", drive, date.c_str(), channel, hour);
  platform::CreateFolderTree(folder);
  char name[64];
  std::snprintf(name, sizeof(name), "%s-%02d%02d%02d M1%02d.avi", date.c_str(), hour, minute, second, channel);
  for (char* p = name; p < name + 10; ++p) {
    if (*p == '_') *p = '-';
  }
  return std::string(folder) + "\\" + name;
}

std::string HostPath(const std::string& windows_path) { return platform::ToHostPath(windows_path); }

std::vector<unsigned char> AdpcmBlock(int bytes, unsigned char fill) {
  std::vector<unsigned char> block(static_cast<std::size_t>(bytes), fill);
  for (int at = 0; at + 4 <= bytes; at += 256) {
    block[at] = 0;
    block[at + 1] = 0;
    block[at + 2] = 10;  // step index within 0..88
    block[at + 3] = 0;
  }
  return block;
}

std::vector<unsigned char> FakeFrame(int bytes, unsigned char fill) {
  return std::vector<unsigned char>(static_cast<std::size_t>(bytes), fill);
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

bool HaveFfprobe() { return std::system("ffprobe -version >/dev/null 2>&1") == 0; }

std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& host_path) {
  const std::string text =
      RunCommand("ffprobe -v quiet -count_packets -show_streams -of flat '" + host_path + "'");
  std::vector<std::map<std::string, std::string>> streams;
  std::istringstream lines(text);
  std::string line;
  const std::string prefix = "streams.stream.";
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    const std::size_t dot = line.find('.', prefix.size());
    const std::size_t eq = line.find('=');
    if (dot == std::string::npos || eq == std::string::npos) continue;
    const std::size_t index = std::stoul(line.substr(prefix.size(), dot - prefix.size()));
    if (streams.size() <= index) streams.resize(index + 1);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    streams[index][line.substr(dot + 1, eq - dot - 1)] = value;
  }
  return streams;
}

std::string ReadText(const std::string& host_path) {
  std::ifstream in(host_path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& host_path) { return std::filesystem::exists(host_path); }

}  // namespace stordane_test
