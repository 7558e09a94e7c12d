#pragma once

#include "tools/camera_sim/CameraOptions.h"

#include <string>

namespace camera {

// Launch descriptions of the test camera's GStreamer pipelines. Payloaders are named
// pay0 (video) and pay1 (sound), as the RTSP server expects.

// Raw moving test pattern with the camera's clock burned in; `live` paces it at its frame
// rate, otherwise it runs as fast as the encoder takes it (for clips encoded beforehand).
std::string PatternSource(const StreamSpec& spec, bool live);
// The crop element of a steerable source, found by this name in the live pipeline.
constexpr const char* kSteeringElement = "ptzview";
// A live still scene at twice the stream's size seen through a crop of the stream's size
// named kSteeringElement, with the camera's clock burned in.
std::string SteerableSource(const StreamSpec& spec);
// Encoder (and parser) turning the pattern into whole access units / JPEG pictures with
// parameter sets in band before every key frame.
std::string VideoEncoder(const StreamSpec& spec, int bframes);
// Caps of the encoded video as the encoder above gives it.
std::string EncodedVideoCaps(const StreamSpec& spec);
std::string VideoPayloader(const StreamSpec& spec);
// Live sound branch ending in pay1; empty without sound.
std::string AudioBranch(const StreamSpec& spec);

// Whole media of a live-encoded stream; `steerable` shows the steerable scene instead of
// the moving pattern.
std::string LiveMedia(const StreamSpec& spec, int bframes, bool steerable = false);
// Whole media of a looped clip: an appsrc named "clip" paced against the clock.
std::string ClipMedia(const StreamSpec& spec);
// Encoding pipeline of a clip of `frames` pictures into an appsink named "sink".
std::string ClipEncoding(const StreamSpec& spec, int frames);

}  // namespace camera
