#include "player_engine/inputs/StreamHeader.h"

#include <cstring>

#include "common/AviDefs.h"
#include "common/TraceMessage.h"

namespace pellix {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void SetChunkId(char (&id)[4], uint32_t stream, char third, char fourth) {
    id[0] = static_cast<char>('0' + (stream / 10) % 10);
    id[1] = static_cast<char>('0' + stream % 10);
    id[2] = third;
    id[3] = fourth;
}

StreamHeaderFacts ParseNetworkHeader(const uint8_t* h) {
    StreamHeaderFacts facts;
    std::memcpy(static_cast<void*>(&facts.video), h, 20);
    std::memset(facts.video.codec_data, 0, sizeof facts.video.codec_data);
    std::memcpy(static_cast<void*>(&facts.audio), h + 20, 20);
    facts.video_streams = Le16(h + 18);
    facts.audio_streams = Le16(h + 38);
    if (facts.audio_streams > 0) facts.frames_carry_trailers = (h[36] & 0x1) != 0;
    facts.cut_video_tail = !facts.frames_carry_trailers;
    std::memcpy(facts.video_chunk_id, "00db", 4);
    std::memcpy(facts.audio_chunk_id, "01wb", 4);
    // One queue entry holds 40 ms of sound at the announced byte rate.
    uint32_t piece = static_cast<uint32_t>(static_cast<uint64_t>(facts.audio.avg_bytes_per_second) * 40 / 1000);
    if (piece == 0) piece = 1;
    if (piece > 1024 * 1024) piece = 1024 * 1024;
    facts.audio_piece_bytes = piece;
    return facts;
}

std::optional<StreamHeaderFacts> ParseAviHeader(const uint8_t* h, size_t bytes) {
    if (Le32(h) != avi::kFccRiff || Le32(h + 8) != avi::kFccAvi || Le32(h + 20) != avi::kFccHdrl)
        return std::nullopt;
    uint64_t list_bytes = Le32(h + 16);
    list_bytes += list_bytes & 1;
    if (list_bytes < 4 || 24 + (list_bytes - 4) > bytes) return std::nullopt;

    StreamHeaderFacts facts;
    facts.cut_video_tail = false;
    const size_t end = static_cast<size_t>(24 + (list_bytes - 4));
    size_t at = 24;
    int stream = -1;
    enum class Last { None, VideoHeader, AudioHeader } last = Last::None;
    bool have_video = false, have_video_format = false, have_audio = false;
    while (at + 8 <= end) {
        const uint32_t id = Le32(h + at);
        if (id == avi::kFccList) {
            at += 12;
            continue;
        }
        uint64_t length = Le32(h + at + 4);
        length += length & 1;
        if (length > end - at - 8) break;
        const uint8_t* data = h + at + 8;
        if (id == avi::kFccStrh) {
            ++stream;
            last = Last::None;
            if (length >= 36 && stream <= 99) {
                const uint32_t type = Le32(data);
                if (type == avi::kFccVids && !have_video) {
                    const uint32_t scale = Le32(data + 20), rate = Le32(data + 24);
                    TraceMessage("rate: %d, scale: %d", static_cast<int>(rate), static_cast<int>(scale));
                    facts.video.compression = Le32(data + 4);
                    if (scale != 0) facts.video.frame_rate = static_cast<uint16_t>(rate / scale);
                    facts.video.frame_count = Le32(data + 32);
                    SetChunkId(facts.video_chunk_id, static_cast<uint32_t>(stream), 'd', 'b');
                    have_video = true;
                    last = Last::VideoHeader;
                } else if (type == avi::kFccAuds && !have_audio) {
                    SetChunkId(facts.audio_chunk_id, static_cast<uint32_t>(stream), 'w', 'b');
                    have_audio = true;
                    last = Last::AudioHeader;
                }
            }
        } else if (id == avi::kFccStrf) {
            if (last == Last::VideoHeader && length >= 40) {
                facts.video.width = static_cast<uint16_t>(Le32(data + 4));
                facts.video.height = static_cast<uint16_t>(Le32(data + 8));
                facts.video.bit_count = Le16(data + 14);
                facts.video.compression = Le32(data + 16);
                if (length >= 44) std::memcpy(facts.video.codec_data, data + 40, 4);
                have_video_format = true;
            } else if (last == Last::AudioHeader && length >= 16) {
                facts.audio.format_tag = Le16(data);
                facts.audio.channels = Le16(data + 2);
                facts.audio.sample_rate = Le32(data + 4);
                facts.audio.avg_bytes_per_second = Le32(data + 8);
                facts.audio.block_align = Le16(data + 12);
                facts.audio.bits_per_sample = Le16(data + 14);
                facts.audio.extra_size = length >= 18 ? Le16(data + 16) : 0;
            }
            last = Last::None;
        } else {
            last = Last::None;
        }
        at += 8 + static_cast<size_t>(length);
    }
    if (!have_video || !have_video_format) return std::nullopt;
    facts.video_streams = 1;
    facts.video.video_streams = 1;
    facts.audio_streams = have_audio ? 1 : 0;
    facts.audio.samples_per_block = static_cast<uint16_t>(facts.audio_streams);
    facts.audio_piece_bytes = 256;
    facts.frames_carry_trailers = false;
    return facts;
}

}  // namespace

std::optional<StreamHeaderFacts> ParseStreamHeader(const uint8_t* header, size_t bytes) {
    if (header == nullptr || bytes < kNetworkHeaderBytes) return std::nullopt;
    if (bytes == kNetworkHeaderBytes) return ParseNetworkHeader(header);
    return ParseAviHeader(header, bytes);
}

}  // namespace pellix
