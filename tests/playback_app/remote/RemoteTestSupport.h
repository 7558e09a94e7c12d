#pragma once
// Shared by the remote-playback tests: a device-side recording made from ffmpeg test pictures.

#include <string>

namespace lumaro_test {

// Three seconds of ffmpeg test pictures (352 x 288, 25 per second, MPEG-4 tagged XVID) written
// to `scratch_path`, then recorded through the record-file library on capture slot `slot` into
// `target_windows_path`, as a capture-card recorder keeps them; false on any failure.
bool MakeDeviceRecording(const std::string& scratch_path, const std::string& target_windows_path,
                         int slot);

}  // namespace lumaro_test
