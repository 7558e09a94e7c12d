#include "tools/korvel_cfg_gen/CfgSpec.h"

#include <charconv>
#include <vector>

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    if (colon == std::string_view::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, colon - start));
    start = colon + 1;
  }
}

bool ParseNumber(std::string_view field, int low, int high, int& value) {
  if (field.empty()) return false;
  const char* end = field.data() + field.size();
  const auto [stop, status] = std::from_chars(field.data(), end, value);
  return status == std::errc() && stop == end && value >= low && value <= high;
}

bool HasLineBreak(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

}  // namespace

std::optional<SlotSpec> ParseSlotSpec(std::string_view text, std::string& error) {
  const std::vector<std::string_view> fields = SplitFields(text);
  if (fields.size() < 9 || fields.size() > 11) {
    error = "a slot needs 9 to 11 fields separated by ':', got " + std::to_string(fields.size());
    return std::nullopt;
  }
  SlotSpec spec;
  struct NumberField {
    const char* name;
    int index;
    int low;
    int high;
    int* value;
  };
  const NumberField numbers[] = {
      {"page", 0, 1, kPageCount, &spec.page},
      {"window", 1, 1, kSlotsPerPage, &spec.window},
      {"kind", 2, kKindDogwood, kKindCamera, &spec.kind},
      {"port", 4, 0, 9999, &spec.port},
      {"second port", 5, 0, 9999, &spec.port2},
      {"channel", 6, 1, kChannelsPerLogin, &spec.channel},
  };
  for (const NumberField& number : numbers) {
    if (!ParseNumber(fields[number.index], number.low, number.high, *number.value)) {
      error = std::string(number.name) + " must be a number from " + std::to_string(number.low) +
              " to " + std::to_string(number.high) + ": \"" +
              std::string(fields[number.index]) + "\"";
      return std::nullopt;
    }
  }
  --spec.page;
  --spec.window;
  --spec.channel;
  spec.address = fields[3];
  if (spec.address.empty()) {
    error = "the address may not be empty (an empty address means an unassigned slot)";
    return std::nullopt;
  }
  spec.user = fields[7];
  spec.password = fields[8];
  if (fields.size() > 9) spec.cameraDescription = fields[9];
  if (fields.size() > 10) spec.serverDescription = fields[10];
  for (std::string_view field : fields) {
    if (HasLineBreak(field)) {
      error = "a field may not hold a line break";
      return std::nullopt;
    }
  }
  return spec;
}

void ApplySlotSpec(const SlotSpec& spec, CPageInfo (&pages)[kPageCount]) {
  CCameraInfo& slot = pages[spec.page].camera[spec.window];
  slot.nPage = spec.page;
  slot.nWnd = spec.window;
  slot.nKind = spec.kind;
  slot.strAddr = spec.address;
  slot.nPort = spec.port;
  slot.nPort2 = spec.port2;
  slot.nChannel = spec.channel;
  slot.strUser = spec.user;
  slot.strPassword = spec.password;
  slot.strCamDesc = spec.cameraDescription;
  slot.strSvrDesc = spec.serverDescription;
}

void PrintConfig(std::ostream& out, const CPageInfo (&pages)[kPageCount],
                 const CKorvelSettings& settings) {
  for (int page = 0; page < kPageCount; ++page) {
    for (int window = 0; window < kSlotsPerPage; ++window) {
      const CCameraInfo& slot = pages[page].camera[window];
      if (!slot.IsAssigned()) continue;
      out << "slot " << page + 1 << ':' << window + 1 << ':' << slot.nKind << ':'
          << slot.strAddr << ':' << slot.nPort << ':' << slot.nPort2 << ':'
          << slot.nChannel + 1 << ':' << slot.strUser << ':' << slot.strPassword << ':'
          << slot.strCamDesc << ':' << slot.strSvrDesc << '\n';
    }
  }
  out << "free-mb=" << settings.m_nFreeSpaceMB << '\n'
      << "snap-format=" << settings.m_nSnapFormat << '\n'
      << "drive-mask=" << settings.m_nRecDriveMask << '\n'
      << "snap-path=" << settings.m_strSnapPath << '\n'
      << "rec-drive=" << settings.m_strRecDrive << '\n';
}
