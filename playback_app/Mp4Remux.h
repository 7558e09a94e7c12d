#pragma once

// Copies a recording into an MP4 file without decoding: the streams the MP4 container can hold
// are carried over packet by packet (the recorders' ADPCM sound cannot, and is left out).

#include <string>

namespace lumaro {

enum class RemuxResult { Done, TargetExists, SourceUnreadable, NothingToCopy, WriteFailed };

// `source` and `target` are Windows-form or host paths. An existing target is never replaced;
// the MP4 is written under a temporary name and moved into place only when complete.
RemuxResult RemuxToMp4(const std::string& source, const std::string& target);

}  // namespace lumaro
