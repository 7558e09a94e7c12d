#pragma once

#include "tools/camera_sim/CameraOptions.h"

#include <string>

namespace camera {

// Launch descriptions of the test camera's GStreamer pipelines. Payloaders are named
// pay0 (video) and pay1 (sound), as the RTSP server expects.

// Raw moving test pattern with the camera's clock burned in; `live` paces it at its frame
// rate, otherwise it runs as fast as the encoder takes it (for clips encoded beforehand).
std::string PatternSource(const StreamSpec& spec, bool live);
// Encoder (and parser) turning the pattern into whole access units / JPEG pictures with
// parameter sets in band before every key frame.
std::string VideoEncoder(const StreamSpec& spec, int bframes);
// Caps of the encoded video as the encoder above gives it.
std::string EncodedVideoCaps(const StreamSpec& spec);
std::string VideoPayloader(const StreamSpec& spec);
// Live sound branch ending in pay1; empty without sound.
std::string AudioBranch(const StreamSpec& spec);

// Whole media of a live-encoded stream.
std::string LiveMedia(const StreamSpec& spec, int bframes);
// Whole media of a looped clip: an appsrc named "clip" paced against the clock.
std::string ClipMedia(const StreamSpec& spec);
// Encoding pipeline of a clip of `frames` pictures into an appsink named "sink".
std::string ClipEncoding(const StreamSpec& spec, int frames);

}  // namespace camera
