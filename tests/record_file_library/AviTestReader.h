#pragma once
// A small, strict reader of the AVI files the library writes, for assertions on their
// bytes: the RIFF tree, the stream headers and formats, every movi chunk and idx1.

#include <cstdint>
#include <string>
#include <vector>

#include "common/AviDefs.h"

namespace stordane_test {

struct AviTestStream {
  avi::AviStreamHeader header{};
  std::vector<unsigned char> format;
};

struct AviTestChunk {
  std::uint32_t id = 0;
  std::uint64_t header_offset = 0;  // file offset of the chunk header
  std::uint32_t size = 0;
  std::vector<unsigned char> data;
};

struct AviTestFile {
  std::string error;                 // empty when the file parsed
  std::uint64_t file_bytes = 0;
  std::uint32_t riff_size = 0;
  avi::AviMainHeader main{};
  std::vector<AviTestStream> streams;
  std::uint64_t movi_code_offset = 0;  // file offset of the 'movi' code
  std::uint32_t movi_size = 0;
  std::vector<AviTestChunk> chunks;    // movi chunks within the declared movi size
  bool has_idx1 = false;
  std::vector<avi::AviIndexEntry> idx1;

  // Chunks of one stream in file order.
  std::vector<const AviTestChunk*> StreamChunks(int stream) const;
};

// Reads and parses `host_path`; problems go to `error`.
AviTestFile ReadAviFile(const std::string& host_path);

}  // namespace stordane_test
