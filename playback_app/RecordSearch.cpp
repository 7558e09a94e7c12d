#include "playback_app/RecordSearch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "record_file_library/RecordingIndex.h"

namespace lumaro {

namespace {

// Six-digit "HHMMSS" of a number of seconds.
std::string SecondsText(int seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

int TextSeconds(const std::string& hhmmss) {
  const int value = std::atoi(hhmmss.c_str());
  return value / 10000 * 3600 + value / 100 % 100 * 60 + value % 100;
}

bool IsListed(const std::vector<int>& channels, int channel) {
  return std::find(channels.begin(), channels.end(), channel) != channels.end();
}

}  // namespace

std::string RecorderFolder(const std::string& address, int port) {
  return address + "[SVR" + std::to_string(port) + "]";
}

std::string DayFolder(char driveLetter, const SearchDay& day, const std::string& recorderFolder) {
  char date[32];
  std::snprintf(date, sizeof date, "%04d_%02d_%02d", day.year, day.month, day.day);
  std::string folder(1, driveLetter);
  folder += ":\\video\\";
  if (!recorderFolder.empty()) folder += recorderFolder + "\\";
  return folder + date + "\\";
}

std::string NameStartText(const std::string& fileName) {
  return fileName.size() >= 17 ? fileName.substr(11, 6) : std::string();
}

std::string FileNameOf(const std::string& path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

IndexSearch::IndexSearch() : buffer_(new char[kIndexBufferBytes]) {}

void IndexSearch::Run(const std::vector<int>& channels, const std::vector<char>& drives,
                      const SearchRequest& request, std::array<ChannelState, kSearchChannels>& states) {
  for (int channel : channels)
    if (channel >= 1 && channel <= kSearchChannels) states[channel - 1].records.clear();

  std::vector<std::string> folders;
  for (char letter : drives) {
    const std::string folder = DayFolder(letter, request.day, request.strRecorderFolder);
    if (platform::Exists(folder + "FileInfo.ini")) folders.push_back(folder);
  }
  for (const std::string& folder : folders) {
    const std::string main = folder + "FileInfo.ini";
    ReadIndexFile(main, channels, request, states);
    int files = platform::GetPrivateProfileInt("FileCount", "FileCount", 0, main.c_str());
    // A larger count is damage; following it (up to 2^31 look-ups) would freeze the search.
    if (files > stordane::RecordingIndex::kMaxIndexFiles) {
      TraceMessage("[LUMARO] - %s: FileCount %d, only %d index files read.", main.c_str(), files,
                   stordane::RecordingIndex::kMaxIndexFiles);
      files = stordane::RecordingIndex::kMaxIndexFiles;
    }
    for (int i = 0; i < files; ++i)
      ReadIndexFile(folder + "FileInfo" + std::to_string(i) + ".ini", channels, request, states);
  }

  for (int channel : channels) {
    if (channel < 1 || channel > kSearchChannels) continue;
    auto& records = states[channel - 1].records;
    std::stable_sort(records.begin(), records.end(), [](const RecordFileInfo& a, const RecordFileInfo& b) {
      return NameStartText(FileNameOf(a.strPath)) < NameStartText(FileNameOf(b.strPath));
    });
  }
}

void IndexSearch::ReadIndexFile(const std::string& file, const std::vector<int>& channels,
                                const SearchRequest& request,
                                std::array<ChannelState, kSearchChannels>& states) {
  if (platform::GetPrivateProfileInt("FileCount", "nCount", 0, file.c_str()) == 0) return;
  std::memset(buffer_.get(), 0, kIndexBufferBytes);
  const std::uint32_t length = platform::GetPrivateProfileString(
      "FileInfo", nullptr, "", buffer_.get(), kIndexBufferBytes, file.c_str());
  ParseKeyNames(buffer_.get(), std::min<std::size_t>(length + 2u, kIndexBufferBytes), channels,
                request, states);
}

void IndexSearch::ParseKeyNames(const char* keys, std::size_t size, const std::vector<int>& channels,
                                const SearchRequest& request,
                                std::array<ChannelState, kSearchChannels>& states) {
  const std::string fromText = SecondsText(request.nFromSeconds);
  const std::string toText = SecondsText(request.nToSeconds);
  std::size_t offset = 0;
  while (offset < size && keys[offset] != '\0') {
    const std::size_t length = strnlen(keys + offset, size - offset);
    const std::string key(keys + offset, length);
    offset += length + 1;

    const std::size_t cut = key.rfind('\\');
    if (cut == std::string::npos) continue;
    const std::string path = key.substr(0, cut);
    const int duration = std::atoi(key.c_str() + cut + 1);
    if (!platform::Exists(path)) continue;

    const std::string name = FileNameOf(path);
    if (name.size() < 22) continue;
    const int channel = (name[20] - '0') * 10 + (name[21] - '0');
    if (name[20] < '0' || name[20] > '9' || name[21] < '0' || name[21] > '9') continue;
    if (!IsListed(channels, channel) || channel < 1 || channel > kSearchChannels) continue;

    RecordFileInfo info;
    info.nType = name[18] == 'M' ? kRecordManual : name[18] == 'T' ? kRecordAuto : kRecordAlarm;
    info.nDuration = duration;
    info.strPath = path;
    const std::string start = NameStartText(name);
    if (request.bListMode) {
      if (request.nRecordType != 0 && info.nType + 1 != request.nRecordType) continue;
      if (start > toText) continue;
      // Widened: the duration is whatever the key says.
      if (start < fromText && static_cast<long long>(TextSeconds(start)) + duration <= request.nFromSeconds) continue;
    } else {
      const std::string stamp = name.substr(0, 13) + "-" + name.substr(13, 2) + "-" + name.substr(15, 2);
      platform::LocalTime time;
      int fields[6] = {0, 0, 0, 0, 0, 0};
      if (std::sscanf(stamp.c_str(), "%4d-%2d-%2d-%2d-%2d-%2d", &fields[0], &fields[1], &fields[2],
                      &fields[3], &fields[4], &fields[5]) == 6) {
        time.year = static_cast<std::uint16_t>(fields[0]);
        time.month = static_cast<std::uint16_t>(fields[1]);
        time.day = static_cast<std::uint16_t>(fields[2]);
        time.hour = static_cast<std::uint16_t>(fields[3]);
        time.minute = static_cast<std::uint16_t>(fields[4]);
        time.second = static_cast<std::uint16_t>(fields[5]);
        info.tStart = platform::FromLocalTime(time);
      }
      // A name whose stamp does not read as a time cannot be placed on the day.
      if (info.tStart <= 0) continue;
      info.tEnd = info.tStart + duration;
    }
    info.nFileSize = platform::FileSize(path);
    TraceMessage("GetFileSize : %d", static_cast<int>(info.nFileSize));
    states[channel - 1].records.push_back(std::move(info));
  }
}

std::vector<ResultRow> BuildResultRows(const std::vector<int>& channels,
                                       const std::array<ChannelState, kSearchChannels>& states) {
  std::vector<ResultRow> rows;
  for (int channel : channels) {
    if (channel < 1 || channel > kSearchChannels) continue;
    const auto& records = states[channel - 1].records;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const std::string name = FileNameOf(records[i].strPath);
      if (name.size() <= 21) continue;
      ResultRow row;
      row.nChannel = channel;
      row.nType = records[i].nType;
      row.strTime = name.substr(11, 2) + ":" + name.substr(13, 2) + ":" + name.substr(15, 2);
      row.strPath = records[i].strPath;
      row.nRecordIndex = static_cast<int>(i);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

}  // namespace lumaro
