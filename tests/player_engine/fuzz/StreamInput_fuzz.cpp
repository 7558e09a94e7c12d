// libFuzzer target: the first bytes as a stream header, the rest pushed into the stream and
// cut into frames by its parsing thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "player_engine/demuxers/NetworkDemuxer.h"
#include "player_engine/inputs/StreamInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the header length: the 44-byte network form or an AVI start.
    const size_t header_bytes = data[0] & 1 ? 44 : 44 + data[1] * 4u;
    data += 2;
    size -= 2;
    if (size < header_bytes) return 0;
    pellix::StreamInput input;
    if (!input.ReadHeader(data, header_bytes) || !input.Open(nullptr, true, true)) return 0;
    pellix::NetworkDemuxer demuxer;
    demuxer.Open(&input);
    input.Append(data + header_bytes, size - header_bytes);
    pellix::VideoFrameRecord frame;
    // Run until the parser stops taking bytes: a few may stay behind, too short for a chunk.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    uint32_t remain = input.BufferRemain();
    int still = 0;
    while (remain > 0 && still < 3 && std::chrono::steady_clock::now() < until) {
        while (demuxer.ReadFrame(1, frame)) {
        }
        demuxer.ReadAudio(0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const uint32_t now = input.BufferRemain();
        still = now == remain ? still + 1 : 0;
        remain = now;
    }
    while (demuxer.ReadFrame(1, frame)) {
    }
    input.Close();
    return 0;
}
