// Feeds arbitrary device bytes through the reply assembly in segments of the sizes the input
// itself chooses, parses every complete block, and derives local names from what it finds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "playback_app/remote/VantorProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumaro::vantor;
  ReplyAssembler assembler;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t segment = 1 + data[at] * 7;
    ++at;
    std::size_t take = segment < size - at ? segment : size - at;
    while (take > 0) {
      const std::size_t room = assembler.Missing();
      const std::size_t now = take < room ? take : room;
      for (std::size_t i = 0; i < now; ++i) assembler.FillPosition()[i] = data[at + i];
      at += now;
      take -= now;
      if (assembler.Commit(now)) {
        std::vector<SearchEntry> rows;
        ParseSearchResults(assembler.Block(), rows);
        for (const SearchEntry& row : rows) {
          const std::string leaf = LocalLeafName(row.name);
          if (leaf.find('/') != std::string::npos || leaf.find('\\') != std::string::npos || leaf == "..") __builtin_trap();
          Request request;
          MakeFileRequest(kCmdDownloadFile, row.name, request);
        }
        assembler.Reset();
      }
    }
  }
  return 0;
}
