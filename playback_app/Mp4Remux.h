#pragma once

// Copies a recording into an MP4 file. The pictures are carried over packet by packet without
// decoding (H.265 tagged `hvc1`, the tag common players look for); the recorders' IMA ADPCM
// sound, which MP4 players do not take, is encoded as AAC; sound the container takes as it is
// is copied.

#include <string>

namespace lumaro {

enum class RemuxResult { Done, TargetExists, SourceUnreadable, NothingToCopy, WriteFailed };

// `source` and `target` are Windows-form or host paths. An existing target is never replaced;
// the MP4 is written under a temporary name and moved into place only when complete.
RemuxResult RemuxToMp4(const std::string& source, const std::string& target);

}  // namespace lumaro
