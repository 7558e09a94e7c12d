#pragma once

// Presentation times of an H.264 or H.265 stream kept in an AVI file. AVI keeps the pictures in
// decoding order with one time each; a stream with B-frames shows them in another order, which
// the picture order counts in the slice headers give. Copied into a container that keeps both
// times (MP4) without them, such a stream would be shown in decoding order: jerking back and
// forth at every B-frame.

#include <cstdint>
#include <map>
#include <string>

namespace lumaro {

struct PresentationTimes {
  // Decoding time -> presentation time, in the stream's time base, for every picture read.
  std::map<std::int64_t, std::int64_t> ofDecodingTime;
  // How far the decoding times move back so that no picture is shown before it is decoded.
  std::int64_t decodingShift = 0;
  // Groups (from one reset of the counts to the next) whose counts made no order: shown in
  // decoding order.
  int unorderedGroups = 0;
};

// Reads stream `streamIndex` of the file at host path `sourceHost`; empty when the file or
// the stream cannot be read or the stream is neither H.264 nor H.265.
PresentationTimes ReadPresentationTimes(const std::string& sourceHost, int streamIndex);

}  // namespace lumaro
