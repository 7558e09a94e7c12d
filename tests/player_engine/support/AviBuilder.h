#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellix::test {

// Builds small AVI files in memory the way recorders lay them out, with the knobs the
// reader's edge cases need. Video frames carry their frame number in bytes 5..8 after an
// MPEG-4 picture start code whose coding type marks key frames, so a reader's output can be
// checked frame by frame.
struct AviBuildOptions {
    int frames = 50;
    uint32_t rate = 25;
    uint32_t scale = 1;
    int width = 352;
    int height = 288;
    int key_interval = 25;             // 0: only the frames in key_frames are key frames
    std::vector<int> key_frames;       // used when key_interval is 0
    int frame_bytes = 100;             // payload of a frame, at least 9
    std::vector<int> empty_frames;     // frames written as zero-length chunks
    bool compressed_id = true;         // "00dc" (else "00db")
    bool with_audio = false;
    int audio_chunk_bytes = 4096;      // one audio chunk after every audio_every frames
    int audio_every = 15;
    uint32_t audio_length = 100;       // strh length of the audio stream
    enum class Index { Relative, Absolute, None } index = Index::Relative;
    bool rec_lists = false;            // group each frame (and its audio) in a "LIST rec "
    uint32_t movi_size_override = 0;   // non-zero: written as the movi list size
    bool riff_size_zero = false;
    int junk_before_movi = 0;          // bytes of a JUNK chunk between hdrl and movi
};

std::vector<uint8_t> BuildAvi(const AviBuildOptions& options);

// The frame number stored in a frame built above (-1 when the bytes are not such a frame).
int FrameNumberOf(const uint8_t* data, uint32_t size);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Mean absolute difference of the colour channels of two BGRA pictures of one size (alpha
// left out); a huge value when the sizes differ or a picture is missing.
double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace pellix::test
