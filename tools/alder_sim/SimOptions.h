#pragma once

#include <cstdint>
#include <string>

namespace alder {

// Everything the simulator is told on its command line, with the defaults of a fresh
// capture-card recorder.
struct SimOptions {
    std::string address = "127.0.0.1";
    uint16_t livePort = 8000;           // control connections of the media-transmit library
    uint16_t mediaPort = 0;             // 0: livePort + 1
    uint16_t queryPort = 4200;          // recording protocol: queries and download control
    uint16_t transmitPort = 4100;       // recording protocol: file streams
    std::string user = "admin";
    std::string password = "12345";
    int channels = 24;                  // channels with a video source (at most 24)
    int frameRate = 15;
    int width = 352;
    int height = 288;
    int audioBlockBytes = 256;          // 256 or 1024
    std::string recordings;             // folder of AVI recordings; empty: no recordings
    int splitAt = 0;                    // send 1032-byte replies in two segments at this byte
    int64_t paceBytesPerSecond = 0;     // 0: file streams as fast as the socket takes them
    bool live = true;                   // serve the live side
    bool vantor = true;                 // serve the recording side
    int preencodedSeconds = 0;          // > 0: each channel loops this many seconds encoded at start
};

// Parses argv into options; false with a message in *error for unknown or bad arguments.
bool ParseOptions(int argc, char** argv, SimOptions& options, std::string* error);
const char* UsageText();
// Accepts the two picture sizes of the recorder, "352x288" and "704x576".
bool ParseSize(const std::string& text, int& width, int& height);

}  // namespace alder
