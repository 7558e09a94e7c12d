#include "tests/player_engine/support/AviBuilder.h"

#include <cstdlib>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pellix::test {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutId(std::vector<uint8_t>& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}
void Patch32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& data) {
    PutId(out, id);
    Put32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
}

std::vector<uint8_t> StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                                  uint32_t length, uint32_t sample_size) {
    std::vector<uint8_t> h;
    PutId(h, type);
    PutId(h, handler);
    Put32(h, 0);   // flags
    Put32(h, 0);   // priority, language
    Put32(h, 0);   // initial frames
    Put32(h, scale);
    Put32(h, rate);
    Put32(h, 0);   // start
    Put32(h, length);
    Put32(h, 0);   // suggested buffer
    Put32(h, 10000);
    Put32(h, sample_size);
    Put32(h, 0);
    Put32(h, 0);
    return h;
}

bool IsKey(const AviBuildOptions& o, int frame) {
    if (o.key_interval > 0) return frame % o.key_interval == 0;
    return std::find(o.key_frames.begin(), o.key_frames.end(), frame) != o.key_frames.end();
}

}  // namespace

std::vector<uint8_t> BuildAvi(const AviBuildOptions& o) {
    std::vector<uint8_t> hdrl;
    PutId(hdrl, "hdrl");
    {
        std::vector<uint8_t> avih(56, 0);
        Patch32(avih, 0, o.rate ? 1000000u * o.scale / o.rate : 0);
        Patch32(avih, 12, 0x10);
        Patch32(avih, 16, static_cast<uint32_t>(o.frames));
        Patch32(avih, 24, o.with_audio ? 2 : 1);
        Patch32(avih, 32, static_cast<uint32_t>(o.width));
        Patch32(avih, 36, static_cast<uint32_t>(o.height));
        Chunk(hdrl, "avih", avih);
    }
    auto strl = [&](const std::vector<uint8_t>& strh, const std::vector<uint8_t>& strf) {
        std::vector<uint8_t> list;
        PutId(list, "strl");
        Chunk(list, "strh", strh);
        Chunk(list, "strf", strf);
        Chunk(hdrl, "LIST", list);
    };
    {
        std::vector<uint8_t> bih;
        Put32(bih, 40);
        Put32(bih, static_cast<uint32_t>(o.width));
        Put32(bih, static_cast<uint32_t>(o.height));
        Put16(bih, 1);
        Put16(bih, 16);
        PutId(bih, "XVID");
        Put32(bih, static_cast<uint32_t>(o.width * o.height * 2));
        Put32(bih, 0);
        Put32(bih, 0);
        Put32(bih, 0);
        Put32(bih, 0);
        strl(StreamHeader("vids", "XVID", o.scale, o.rate, static_cast<uint32_t>(o.frames), 0), bih);
    }
    if (o.with_audio) {
        std::vector<uint8_t> wfx;
        Put16(wfx, 0x11);
        Put16(wfx, 1);
        Put32(wfx, 8000);
        Put32(wfx, 4055);
        Put16(wfx, 256);
        Put16(wfx, 4);
        Put16(wfx, 2);
        Put16(wfx, 505);
        strl(StreamHeader("auds", "\0\0\0\0", 101, 1600, o.audio_length, 256), wfx);
    }

    std::vector<uint8_t> file;
    PutId(file, "RIFF");
    Put32(file, 0);
    PutId(file, "AVI ");
    Chunk(file, "LIST", hdrl);
    if (o.junk_before_movi > 0) Chunk(file, "JUNK", std::vector<uint8_t>(static_cast<size_t>(o.junk_before_movi), 0));

    const size_t movi_list = file.size();
    PutId(file, "LIST");
    Put32(file, 0);
    PutId(file, "movi");
    const size_t movi_fourcc = movi_list + 8;
    struct Entry {
        std::string id;
        uint32_t flags, offset, size;
    };
    std::vector<Entry> index;
    const char* video_id = o.compressed_id ? "00dc" : "00db";
    int audio_counter = 0;
    for (int f = 0; f < o.frames; ++f) {
        size_t rec_start = 0;
        if (o.rec_lists) {
            rec_start = file.size();
            PutId(file, "LIST");
            Put32(file, 0);
            PutId(file, "rec ");
        }
        std::vector<uint8_t> payload;
        const bool empty = std::find(o.empty_frames.begin(), o.empty_frames.end(), f) != o.empty_frames.end();
        if (!empty) {
            payload = {0x00, 0x00, 0x01, 0xB6, static_cast<uint8_t>(IsKey(o, f) ? 0x00 : 0x40)};
            Put32(payload, static_cast<uint32_t>(f));
            payload.resize(static_cast<size_t>(std::max(o.frame_bytes, 9)), static_cast<uint8_t>(f));
        }
        index.push_back({video_id, IsKey(o, f) ? 0x10u : 0u, static_cast<uint32_t>(file.size()),
                         static_cast<uint32_t>(payload.size())});
        Chunk(file, video_id, payload);
        if (o.with_audio && (f % o.audio_every) == o.audio_every - 1) {
            std::vector<uint8_t> audio(static_cast<size_t>(o.audio_chunk_bytes), static_cast<uint8_t>(audio_counter++));
            index.push_back({"01wb", 0x10, static_cast<uint32_t>(file.size()), static_cast<uint32_t>(audio.size())});
            Chunk(file, "01wb", audio);
        }
        if (o.rec_lists) Patch32(file, rec_start + 4, static_cast<uint32_t>(file.size() - rec_start - 8));
    }
    Patch32(file, movi_list + 4,
            o.movi_size_override ? o.movi_size_override : static_cast<uint32_t>(file.size() - movi_list - 8));
    if (o.index != AviBuildOptions::Index::None) {
        std::vector<uint8_t> idx1;
        for (const Entry& e : index) {
            PutId(idx1, e.id.c_str());
            Put32(idx1, e.flags);
            Put32(idx1, o.index == AviBuildOptions::Index::Absolute ? e.offset
                                                                    : e.offset - static_cast<uint32_t>(movi_fourcc));
            Put32(idx1, e.size);
        }
        Chunk(file, "idx1", idx1);
    }
    Patch32(file, 4, o.riff_size_zero ? 0 : static_cast<uint32_t>(file.size() - 8));
    return file;
}

int FrameNumberOf(const uint8_t* data, uint32_t size) {
    if (data == nullptr || size < 9 || data[0] != 0 || data[1] != 0 || data[2] != 1 || data[3] != 0xB6) return -1;
    return static_cast<int>(data[5] | (data[6] << 8) | (data[7] << 16) | (static_cast<uint32_t>(data[8]) << 24));
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3) continue;
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
        ++count;
    }
    return sum / static_cast<double>(count);
}

}  // namespace pellix::test
