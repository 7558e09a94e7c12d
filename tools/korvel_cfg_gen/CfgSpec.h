#pragma once

// Slot and settings descriptions given on korvel_cfg_gen's command line, and the text form
// the tool prints a loaded configuration in.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "live_client/core/KorvelConfig.h"
#include "live_client/core/PageInfo.h"

// One assigned camera slot. Written on the command line as
//   PAGE:WINDOW:KIND:ADDRESS:PORT:PORT2:CHANNEL:USER:PASSWORD[:CAMERA[:SERVER]]
// PAGE 1-5, WINDOW 1-25 and CHANNEL 1-24 are counted from 1 as the operator sees them;
// KIND 0-3; ports 0-9999. USER, PASSWORD and the descriptions may be empty and may not hold
// ':' or a line feed.
struct SlotSpec {
  int page = 0;     // from 0
  int window = 0;   // from 0
  int kind = kKindAlder;
  std::string address;
  int port = 0;
  int port2 = 0;
  int channel = 0;  // from 0
  std::string user;
  std::string password;
  std::string cameraDescription;
  std::string serverDescription;
};

// Parses one slot description; nullopt with `error` set when a field is missing, not a
// number or out of range.
std::optional<SlotSpec> ParseSlotSpec(std::string_view text, std::string& error);

// Puts `spec` into its slot of `pages` (saved fields only).
void ApplySlotSpec(const SlotSpec& spec, CPageInfo (&pages)[kPageCount]);

// Prints every assigned slot as a SlotSpec line ("slot " + the command-line form), then the
// settings as "name=value" lines, in file order. Used to check a file by eye and in tests.
void PrintConfig(std::ostream& out, const CPageInfo (&pages)[kPageCount],
                 const CKorvelSettings& settings);
