#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "player_engine/inputs/Input.h"

namespace pellix {

// What a pushed stream's header announces: the stream facts, the chunk identifiers to look
// for, and how pieces are laid out. Made by ParseStreamHeader; immutable afterwards.
struct StreamHeaderFacts {
    StreamVideoInfo video;
    StreamAudioInfo audio;
    char video_chunk_id[4] = {'0', '0', 'd', 'b'};
    char audio_chunk_id[4] = {'9', '9', 'w', 'b'};
    uint32_t video_streams = 0;
    uint32_t audio_streams = 0;
    uint32_t audio_piece_bytes = 0;
    bool frames_carry_trailers = false;
    bool cut_video_tail = false;   // frames of the trailer-less network layout end in 4 extra bytes
};

// Length of the fixed network header; any other length is read as the start of an AVI file.
inline constexpr size_t kNetworkHeaderBytes = 44;

// Reads either header form. Empty when the header is refused: shorter than 44 bytes, or an
// AVI start without "RIFF" / "AVI " / "hdrl", an hdrl list that does not fit, or no video
// stream with its format. Every read is checked against the bytes given.
std::optional<StreamHeaderFacts> ParseStreamHeader(const uint8_t* header, size_t bytes);

}  // namespace pellix
