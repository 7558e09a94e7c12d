#pragma once

// Requests and replies of the Vantor device protocol (ports 4200 and 4100): the 128-byte
// request block, the 1,032-byte reply block with its assembly across TCP segments, and the
// checks that keep a hostile device's names and counts inside their bounds.
//
// Everything here is plain data handling without threads; any thread may call it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumaro::vantor {

inline constexpr std::uint8_t kMagic = 0x8A;
inline constexpr std::size_t kRequestSize = 128;
inline constexpr std::size_t kReplySize = 1032;
inline constexpr std::uint16_t kQueryPort = 4200;
inline constexpr std::uint16_t kTransmitPort = 4100;

// Request commands.
inline constexpr std::uint8_t kCmdSearch = 0x6F;
inline constexpr std::uint8_t kCmdPlayFile = 0xD3;
inline constexpr std::uint8_t kCmdStopTransfer = 0xD4;
inline constexpr std::uint8_t kCmdStartTransfer = 0xD5;
inline constexpr std::uint8_t kCmdDownloadFile = 0xD6;

// Reply codes.
inline constexpr std::uint8_t kReplySearchResults = 0x79;
inline constexpr std::uint8_t kReplySearchFinished = 0x7A;
inline constexpr std::uint8_t kReplyTransferEnded = 0xE0;
inline constexpr std::uint8_t kReplyTransferReady = 0xE1;
inline constexpr std::uint8_t kReplyTransferRefused = 0xE2;
inline constexpr std::uint8_t kReplyDownloadReady = 0xE3;

// A search reply carries at most this many entries of kEntrySize bytes from kEntriesOffset.
inline constexpr std::size_t kMaxEntries = 8;
inline constexpr std::size_t kEntriesOffset = 8;
inline constexpr std::size_t kEntrySize = 128;
inline constexpr std::size_t kEntryNameOffset = 12;
// Room for a file name in a request, terminating zero included.
inline constexpr std::size_t kRequestNameOffset = 24;
inline constexpr std::size_t kRequestNameRoom = kRequestSize - kRequestNameOffset;

using Request = std::array<std::uint8_t, kRequestSize>;
using ReplyBlock = std::array<std::uint8_t, kReplySize>;

// Fields of a search request; dates and times as the decimal numbers YYYYMMDD and HHMMSS.
struct SearchQuery {
  std::uint32_t date = 0;
  std::uint32_t from_time = 0;
  std::uint32_t to_time = 0;
  std::uint16_t channel = 1;      // from 1
  std::uint16_t record_type = 0;  // 0 all, 1 manual, 2 automatic, 3 alarm
};

Request MakeSearchRequest(const SearchQuery& query);
// 0xD4 / 0xD5 with the transfer id in byte 2.
Request MakeTransferRequest(std::uint8_t command, std::uint8_t transfer_id);
// 0xD3 / 0xD6 with the device's file name. False when the name does not fit with its
// terminating zero (a cut name would ask the device for another file) or is empty.
bool MakeFileRequest(std::uint8_t command, std::string_view name, Request& request);

// One row of a search reply, as the device reported it.
struct SearchEntry {
  std::uint32_t date = 0;        // YYYYMMDD
  std::uint32_t start_time = 0;  // HHMMSS
  std::uint16_t record_type = 0;
  std::uint16_t channel = 0;
  std::string name;              // device file name, '\' between folders
};

enum class ParseResult { Ok, NotOurs, InvalidData };

// Reads the entries of a complete 0x79 block. A count above kMaxEntries is refused
// (InvalidData, no rows); a name without terminator is cut at the end of its entry.
// NotOurs for a block whose first byte or code is not a search result.
ParseResult ParseSearchResults(const ReplyBlock& block, std::vector<SearchEntry>& entries);

// The u32 little-endian at `offset` of `data` (the caller checked the length).
std::uint32_t ReadU32(const std::uint8_t* data);

// Collects a reply block from a stream that may deliver it in pieces of any size: the
// reader receives into FillPosition() at most Missing() bytes, then reports how many came.
// A block is complete at kReplySize bytes; Reset() starts the next one at offset 0.
class ReplyAssembler {
 public:
  std::uint8_t* FillPosition() { return block_.data() + fill_; }
  std::size_t Missing() const { return kReplySize - fill_; }
  // Adds `count` received bytes (clamped to what is missing); true when the block is full.
  bool Commit(std::size_t count);
  bool Complete() const { return fill_ == kReplySize; }
  const ReplyBlock& Block() const { return block_; }
  void Reset();

 private:
  ReplyBlock block_{};
  std::size_t fill_ = 0;
};

// The file name under which a device file is stored locally: the part after the last
// backslash. A device may send anything there, so the part after a '/' and after a drive
// prefix ("C:") is taken as well; the result never names another folder. Empty (refused)
// when nothing usable is left: ".", "..", a control character, or no characters at all.
std::string LocalLeafName(std::string_view device_name);

}  // namespace lumaro::vantor
