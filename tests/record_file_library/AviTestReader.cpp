#include "AviTestReader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace stordane_test {
namespace {

template <typename T>
bool ReadAt(const std::vector<unsigned char>& bytes, std::uint64_t at, T& out) {
  if (at + sizeof(T) > bytes.size()) return false;
  std::memcpy(&out, bytes.data() + at, sizeof(T));
  return true;
}

}  // namespace

std::vector<const AviTestChunk*> AviTestFile::StreamChunks(int stream) const {
  std::vector<const AviTestChunk*> out;
  for (const AviTestChunk& chunk : chunks) {
    if (avi::ChunkStreamNumber(chunk.id) == stream) out.push_back(&chunk);
  }
  return out;
}

AviTestFile ReadAviFile(const std::string& host_path) {
  AviTestFile file;
  std::ifstream in(host_path, std::ios::binary);
  if (!in) {
    file.error = "cannot open " + host_path;
    return file;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  file.file_bytes = bytes.size();
  avi::AviListHeader riff{};
  if (!ReadAt(bytes, 0, riff) || riff.fcc != avi::kFccRiff || riff.type != avi::kFccAvi) {
    file.error = "no RIFF AVI header";
    return file;
  }
  file.riff_size = riff.size;
  std::uint64_t pos = 12;
  const std::uint64_t end = std::min<std::uint64_t>(bytes.size(), 8ull + riff.size);
  while (pos + 8 <= end) {
    avi::AviChunkHeader chunk{};
    ReadAt(bytes, pos, chunk);
    if (chunk.fcc == avi::kFccList) {
      std::uint32_t type = 0;
      ReadAt(bytes, pos + 8, type);
      const std::uint64_t list_end = pos + 8 + chunk.size;
      if (type == avi::kFccHdrl) {
        std::uint64_t at = pos + 12;
        while (at + 8 <= list_end) {
          avi::AviChunkHeader sub{};
          ReadAt(bytes, at, sub);
          if (sub.fcc == avi::kFccAvih) {
            ReadAt(bytes, at + 8, file.main);
          } else if (sub.fcc == avi::kFccList) {
            AviTestStream stream;
            std::uint64_t s = at + 12;
            while (s + 8 <= at + 8 + sub.size) {
              avi::AviChunkHeader part{};
              ReadAt(bytes, s, part);
              if (part.fcc == avi::kFccStrh) ReadAt(bytes, s + 8, stream.header);
              if (part.fcc == avi::kFccStrf && s + 8 + part.size <= bytes.size()) {
                stream.format.assign(bytes.begin() + static_cast<long>(s + 8),
                                     bytes.begin() + static_cast<long>(s + 8 + part.size));
              }
              s += 8 + part.size + (part.size & 1);
            }
            file.streams.push_back(stream);
          }
          at += 8 + sub.size + (sub.size & 1);
        }
      } else if (type == avi::kFccMovi) {
        file.movi_code_offset = pos + 8;
        file.movi_size = chunk.size;
        std::uint64_t at = pos + 12;
        const std::uint64_t movi_end = std::min<std::uint64_t>(list_end, bytes.size());
        while (at + 8 <= movi_end) {
          AviTestChunk c;
          avi::AviChunkHeader h{};
          ReadAt(bytes, at, h);
          if (at + 8 + h.size > bytes.size()) {
            file.error = "movi chunk past the end of the file";
            return file;
          }
          c.id = h.fcc;
          c.header_offset = at;
          c.size = h.size;
          c.data.assign(bytes.begin() + static_cast<long>(at + 8), bytes.begin() + static_cast<long>(at + 8 + h.size));
          file.chunks.push_back(std::move(c));
          at += 8 + h.size + (h.size & 1);
        }
      }
      pos = list_end + (chunk.size & 1);
    } else {
      if (chunk.fcc == avi::kFccIdx1) {
        file.has_idx1 = true;
        for (std::uint64_t at = pos + 8; at + 16 <= pos + 8 + chunk.size && at + 16 <= bytes.size(); at += 16) {
          avi::AviIndexEntry entry{};
          ReadAt(bytes, at, entry);
          file.idx1.push_back(entry);
        }
      }
      pos += 8 + chunk.size + (chunk.size & 1);
    }
  }
  if (file.movi_code_offset == 0) file.error = "no movi list";
  return file;
}

}  // namespace stordane_test
