#pragma once

// The local recording search: where a day's index files lie, how their key names are read and
// parsed into recordings per channel, the list-mode filters and the rows of the result list.
// No user interface here: the main dialog owns the controls and calls in on its thread.

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace lumaro {

inline constexpr int kSearchChannels = 24;
// Bytes of index key names read per index file; a longer key list is read as far as it fits.
inline constexpr std::uint32_t kIndexBufferBytes = 0x49800;  // 301,056

enum RecordType { kRecordManual = 0, kRecordAuto = 1, kRecordAlarm = 2 };

// One recording found in an index.
struct RecordFileInfo {
  int nType = kRecordManual;
  int nDuration = 0;           // seconds, from the index key
  std::time_t tStart = 0;      // time mode only
  std::time_t tEnd = 0;        // time mode only: start + duration
  std::string strPath;         // Windows form, as the index holds it
  std::int64_t nFileSize = -1; // bytes; -1 when the file could not be opened
};

// One channel button's search state (channels 1..24 at index 0..23).
struct ChannelState {
  bool bSelected = false;
  int nWindow = -1;             // video window playing this channel, -1 when none
  std::time_t tDay = 0;         // midnight of the searched day
  int nFromSeconds = 0;
  int nToSeconds = 24 * 3600 - 1;
  int nRecordType = 0;
  std::vector<RecordFileInfo> records;  // in the order found, then sorted by start time
};

// A calendar day.
struct SearchDay {
  int year = 2000;
  int month = 1;
  int day = 1;
};

// What a search looks for. List mode applies the type and time filters; time mode fills the
// start and end times instead.
struct SearchRequest {
  SearchDay day;
  bool bListMode = true;
  int nRecordType = 0;     // 0 all, 1 manual, 2 automatic, 3 alarm
  int nFromSeconds = 0;    // seconds of the day
  int nToSeconds = 24 * 3600 - 1;
  std::string strRecorderFolder;  // client mode: "<address>[SVR<port>]"; empty in standalone mode
};

// A row of the local result list.
struct ResultRow {
  int nChannel = 0;
  int nType = 0;
  std::string strTime;    // "HH:MM:SS" from the file name
  std::string strPath;
  int nRecordIndex = 0;   // index into the channel's record list
};

// "<address>[SVR<port>]".
std::string RecorderFolder(const std::string& address, int port);
// "X:\video\[<recorder>\]YYYY_MM_DD\".
std::string DayFolder(char driveLetter, const SearchDay& day, const std::string& recorderFolder);
// The start time "HHMMSS" in characters 11..16 of a recording file name ("" when too short).
std::string NameStartText(const std::string& fileName);
// File name of a path: the part after its last backslash.
std::string FileNameOf(const std::string& path);

class IndexSearch {
 public:
  IndexSearch();

  // Searches the index files of the day on every drive of `drives`, in order, for `channels`
  // (numbers 1..24). Each listed channel's records are replaced, then sorted by start time.
  void Run(const std::vector<int>& channels, const std::vector<char>& drives,
           const SearchRequest& request, std::array<ChannelState, kSearchChannels>& states);

  // Parses a list of zero-terminated key names ("<path>\<seconds>"), ended by an empty one,
  // within `size` bytes, appending matches of the listed channels.
  void ParseKeyNames(const char* keys, std::size_t size, const std::vector<int>& channels,
                     const SearchRequest& request, std::array<ChannelState, kSearchChannels>& states);

 private:
  void ReadIndexFile(const std::string& file, const std::vector<int>& channels,
                     const SearchRequest& request, std::array<ChannelState, kSearchChannels>& states);

  // The key-name buffer, reused for every index file.
  std::unique_ptr<char[]> buffer_;
};

// Rows for the listed channels, channel by channel, within a channel in list order.
std::vector<ResultRow> BuildResultRows(const std::vector<int>& channels,
                                       const std::array<ChannelState, kSearchChannels>& states);

}  // namespace lumaro
