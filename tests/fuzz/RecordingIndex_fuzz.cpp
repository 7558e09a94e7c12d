// Recording index files of any shape: the day's "FileInfo.ini" and its numbered index files
// as a damaged disk, an older writer or another program may have left them. The playback
// program's local search reads them and must list only recordings that exist, each under the
// channel its file name carries, in start order, within the filters. Then the record-file
// library enters one more closed recording into that same day; whatever the index held, the
// new recording must be found by the next search.
//
// Input: byte 0 chooses the search (bit 0 list mode, bits 1-2 record type, bits 3-7 the start
// of the time filter in hours); the rest is the main index, then the numbered index files
// FileInfo0.ini, FileInfo1.ini, ..., separated by "@@@@".

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "playback_app/RecordSearch.h"
#include "record_file_library/RecordingIndex.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

constexpr const char* kDayFolder = "D:\\video\\2010_05_05";
constexpr int kMaxIndexFiles = 4;

struct Recording {
  int channel;
  std::string path;
};

// Recordings that exist on the drive; index keys may name them or anything else.
const std::vector<Recording>& Recordings() {
  static const std::vector<Recording> recordings = [] {
    std::vector<Recording> made;
    const struct {
      int channel, hour, minute;
      char type;
    } files[] = {{1, 8, 0, 'M'}, {1, 9, 30, 'T'}, {2, 9, 0, 'A'}, {12, 23, 59, 'M'}, {24, 0, 0, 'T'}};
    for (const auto& f : files) {
      char folder[96], name[64];
      std::snprintf(folder, sizeof folder, "%s\\%02d\\%02d", kDayFolder, f.channel, f.hour);
      std::snprintf(name, sizeof name, "2010-05-05-%02d%02d00 %c1%02d.avi", f.hour, f.minute, f.type,
                    f.channel);
      FUZZ_CHECK(platform::CreateFolderTree(folder));
      const std::string path = std::string(folder) + "\\" + name;
      FUZZ_CHECK(platform::ReplaceFileContents(path, std::string(1000, 'r')));
      made.push_back({f.channel, path});
    }
    return made;
  }();
  return recordings;
}

// One drive D on a memory file system where there is one: every index write of the
// record-file library replaces a file, which on a disk would dominate each run.
void InstallDrive() {
  static const bool installed = [] {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/suite-fuzz-index-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    platform::DriveTable table;
    table.system_drive = 'D';
    table.drives.push_back({'D', pattern});
    platform::SetDriveTable(table);
    Recordings();
    return true;
  }();
  (void)installed;
}

std::vector<std::string_view> Split(std::string_view text) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < kMaxIndexFiles + 1) {
    const std::size_t cut = text.find("@@@@");
    if (cut == std::string_view::npos) break;
    parts.push_back(text.substr(0, cut));
    text.remove_prefix(cut + 4);
  }
  parts.push_back(text);
  return parts;
}

std::string IndexFile(int number) {
  return std::string(kDayFolder) + (number < 0 ? "\\FileInfo.ini" : "\\FileInfo" + std::to_string(number) + ".ini");
}

// `sorted`: a whole search orders each channel by start time; the key-list parser alone keeps
// the order of the index.
void CheckFound(const std::vector<int>& channels, const lumaro::SearchRequest& request,
                const std::array<lumaro::ChannelState, lumaro::kSearchChannels>& states, bool sorted) {
  for (int channel = 1; channel <= lumaro::kSearchChannels; ++channel) {
    const auto& records = states[channel - 1].records;
    std::string previous;
    for (const lumaro::RecordFileInfo& record : records) {
      const std::string name = lumaro::FileNameOf(record.strPath);
      FUZZ_CHECK(name.size() >= 22);
      FUZZ_CHECK((name[20] - '0') * 10 + (name[21] - '0') == channel);
      FUZZ_CHECK(std::find(channels.begin(), channels.end(), channel) != channels.end());
      FUZZ_CHECK(platform::Exists(record.strPath));
      FUZZ_CHECK(record.nFileSize == platform::FileSize(record.strPath));
      const std::string start = lumaro::NameStartText(name);
      if (sorted) FUZZ_CHECK(start >= previous);
      previous = start;
      if (request.bListMode) {
        if (request.nRecordType != 0) FUZZ_CHECK(record.nType + 1 == request.nRecordType);
      } else {
        FUZZ_CHECK(record.tStart > 0);
        FUZZ_CHECK(record.tEnd == record.tStart + record.nDuration);
      }
    }
  }
  const std::vector<lumaro::ResultRow> rows = lumaro::BuildResultRows(channels, states);
  std::size_t listed = 0;
  for (int channel : channels) listed += states[channel - 1].records.size();
  FUZZ_CHECK(rows.size() == listed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Larger index files are read only as far as the search's key buffer holds, which would
  // hide the recording entered last.
  if (size < 1 || size > 1 << 16) return 0;
  InstallDrive();
  const std::uint8_t choice = data[0];
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The day's index files as the input gives them; files it does not give are absent.
  const std::vector<std::string_view> parts = Split(body);
  for (int number = -1; number < kMaxIndexFiles; ++number) {
    const std::size_t part = static_cast<std::size_t>(number + 1);
    if (part < parts.size()) {
      FUZZ_CHECK(platform::ReplaceFileContents(IndexFile(number), std::string(parts[part])));
    } else {
      platform::DeleteFile(IndexFile(number));
    }
  }
  platform::ClearProfileCache();

  lumaro::SearchRequest request;
  request.day = lumaro::SearchDay{2010, 5, 5};
  request.bListMode = (choice & 1) == 0;
  request.nRecordType = (choice >> 1) & 3;
  request.nFromSeconds = (choice >> 3) % 24 * 3600;
  std::vector<int> channels;
  for (int channel = 1; channel <= lumaro::kSearchChannels; channel += (choice & 0x10) ? 1 : 11)
    channels.push_back(channel);

  auto states = std::make_unique<std::array<lumaro::ChannelState, lumaro::kSearchChannels>>();
  lumaro::IndexSearch search;
  search.Run(channels, {'D'}, request, *states);
  CheckFound(channels, request, *states, true);

  // The same bytes as a key-name list, exactly as long as the input: the parser must stay
  // within them whether or not they end with an empty name.
  auto raw = std::make_unique<std::array<lumaro::ChannelState, lumaro::kSearchChannels>>();
  search.ParseKeyNames(body.data(), body.size(), channels, request, *raw);
  CheckFound(channels, request, *raw, false);

  // A recording closed now is entered whatever the index held, and the next search finds it.
  const Recording& closed = Recordings()[choice % Recordings().size()];
  FUZZ_CHECK(platform::ReplaceFileContents(closed.path, std::string(30000, 'c')));
  stordane::RecordingIndex index;
  index.AddToFileInfo(closed.path, 600);
  FUZZ_CHECK(platform::Exists(closed.path));
  FUZZ_CHECK(platform::ReadProfileString(index.CurrentIndexPath(), "FileInfo", closed.path + "\\600") == "FI");

  lumaro::SearchRequest all;
  all.day = request.day;
  auto again = std::make_unique<std::array<lumaro::ChannelState, lumaro::kSearchChannels>>();
  search.Run({closed.channel}, {'D'}, all, *again);
  CheckFound({closed.channel}, all, *again, true);
  const auto& found = (*again)[closed.channel - 1].records;
  FUZZ_CHECK(std::any_of(found.begin(), found.end(), [&](const lumaro::RecordFileInfo& record) {
    return record.strPath == closed.path && record.nDuration == 600;
  }));
  FUZZ_CHECK(platform::ReplaceFileContents(closed.path, std::string(1000, 'r')));
  // A numbered index beyond those the input gives was opened by the count the input claimed.
  if (std::string current = index.CurrentIndexPath(); current.size() > std::strlen(kDayFolder) + 10) {
    bool given = false;
    for (int number = -1; number < kMaxIndexFiles; ++number) given = given || current == IndexFile(number);
    if (!given) platform::DeleteFile(current);
  }
  return 0;
}
