#pragma once
// The access units (or JPEG pictures) of a raw H.264, H.265 or Motion JPEG file, split by
// libavformat's parsers with their key flags: frames as a network camera sends them.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace halvane_test {

struct CameraUnit {
    std::vector<std::uint8_t> bytes;
    bool key = false;
};

inline std::vector<CameraUnit> CameraUnitsOf(const std::string& path)
{
    std::vector<CameraUnit> units;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return units;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
        units.push_back({std::vector<std::uint8_t>(packet->data, packet->data + packet->size),
                         (packet->flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&context);
    return units;
}

}  // namespace halvane_test
