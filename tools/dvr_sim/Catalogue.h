#pragma once

// The recorder's catalogue of recordings: a text file "catalogue.txt" in the catalogue
// folder, one recording a line:
//
//   <id> <channel from 1> <type 1|2|4|8> <YYYY-MM-DD> <HH:MM:SS> <seconds>
//
// ('#' starts a comment). Times are the recorder's wall clock, kept as if they were UTC. Each
// recording's pictures live in "REC<id>.clip" beside it, made from the channel's own camera
// the first time the recording is played. A missing catalogue file is replaced by a default
// one: every channel recorded for 6 s every two hours of the current day, types in turn.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tools/dvr_sim/Clip.h"

namespace dvr_sim {

struct Recording {
  uint32_t id = 0;
  int channel = 1;          // from 1
  int type = 1;             // 1 timer, 2 motion, 4 alarm, 8 manual
  uint32_t start = 0;       // seconds, wall clock as UTC
  uint32_t seconds = 0;
  uint32_t end() const { return start + seconds; }
};

class Catalogue {
 public:
  // Loads folder/catalogue.txt, writing the default one for `channels` channels first when
  // it does not exist. False (with a line on stderr) when the folder cannot be used; bad
  // lines are reported and skipped.
  bool Load(const std::string& folder, int channels);

  // Matches of a search in start-time order: channel in `channel_mask` (bit c-1), type in
  // `type_mask` (kAllTypes in it: any type), and the recording overlapping [from, to].
  std::vector<Recording> Search(uint16_t channel_mask, uint16_t type_mask, uint32_t from,
                                uint32_t to) const;

  // The recording with `id`; false if there is none.
  bool Find(uint32_t id, Recording& out) const;

  // Pictures of `recording`, made and stored on first use (at most kMaxClipSeconds long).
  // Thread-safe; false when the clip can be neither read nor made.
  bool LoadClip(const Recording& recording, int width, int height, Clip& out);

  static constexpr uint32_t kMaxClipSeconds = 120;
  // Type-mask bit that asks for recordings of every type (what "all" sends).
  static constexpr uint16_t kAllTypes = 16;

 private:
  std::string folder_;
  std::vector<Recording> recordings_;  // immutable after Load()
  std::mutex clip_lock_;               // serialises making clip files
};

}  // namespace dvr_sim
