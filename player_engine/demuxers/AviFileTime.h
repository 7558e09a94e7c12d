#pragma once

#include <cstdint>

namespace pellix {

// Playing time in milliseconds of a recording, read without opening it as media: the scale,
// rate, start and length of its first stream header, at offset 128 of the files the
// recording writer produces. 0 when the file cannot be read or its rate / scale is 0.
uint32_t RecordingFileTimeMs(const char* file_name);

}  // namespace pellix
