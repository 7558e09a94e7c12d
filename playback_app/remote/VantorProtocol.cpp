#include "playback_app/remote/VantorProtocol.h"

#include <algorithm>
#include <cstring>

namespace lumaro::vantor {
namespace {

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t ReadU16(const std::uint8_t* data) {
  return static_cast<std::uint16_t>(data[0] | (data[1] << 8));
}

Request EmptyRequest(std::uint8_t command) {
  Request request{};
  request[0] = kMagic;
  request[1] = command;
  return request;
}

}  // namespace

std::uint32_t ReadU32(const std::uint8_t* data) {
  return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
         (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

Request MakeSearchRequest(const SearchQuery& query) {
  Request request = EmptyRequest(kCmdSearch);
  PutU32(&request[4], query.date);
  PutU32(&request[8], 0);
  PutU32(&request[12], query.from_time);
  PutU32(&request[16], query.to_time);
  PutU16(&request[20], query.channel);
  PutU16(&request[22], query.record_type);
  return request;
}

Request MakeTransferRequest(std::uint8_t command, std::uint8_t transfer_id) {
  Request request = EmptyRequest(command);
  request[2] = transfer_id;
  return request;
}

bool MakeFileRequest(std::uint8_t command, std::string_view name, Request& request) {
  if (name.empty() || name.size() >= kRequestNameRoom) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  request = EmptyRequest(command);
  std::memcpy(&request[kRequestNameOffset], name.data(), name.size());
  return true;
}

ParseResult ParseSearchResults(const ReplyBlock& block, std::vector<SearchEntry>& entries) {
  if (block[0] != kMagic || block[1] != kReplySearchResults) return ParseResult::NotOurs;
  const std::size_t count = block[3];
  if (count > kMaxEntries) return ParseResult::InvalidData;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = block.data() + kEntriesOffset + i * kEntrySize;
    SearchEntry row;
    row.date = ReadU32(entry);
    row.start_time = ReadU32(entry + 4);
    row.record_type = ReadU16(entry + 8);
    row.channel = ReadU16(entry + 10);
    const char* name = reinterpret_cast<const char*>(entry + kEntryNameOffset);
    const std::size_t room = kEntrySize - kEntryNameOffset;
    row.name.assign(name, strnlen(name, room));
    entries.push_back(std::move(row));
  }
  return ParseResult::Ok;
}

bool ReplyAssembler::Commit(std::size_t count) {
  fill_ += std::min(count, Missing());
  return Complete();
}

void ReplyAssembler::Reset() {
  block_.fill(0);
  fill_ = 0;
}

std::string LocalLeafName(std::string_view device_name) {
  const std::size_t cut = device_name.find_last_of("\\/");
  std::string_view leaf = cut == std::string_view::npos ? device_name : device_name.substr(cut + 1);
  // "C:name" is relative to drive C's current folder on the device's side; never ours.
  const std::size_t colon = leaf.find_last_of(':');
  if (colon != std::string_view::npos) leaf = leaf.substr(colon + 1);
  if (leaf.empty() || leaf == "." || leaf == "..") return {};
  for (unsigned char c : leaf) {
    if (c < 0x20 || c == 0x7F) return {};
  }
  return std::string(leaf);
}

}  // namespace lumaro::vantor
