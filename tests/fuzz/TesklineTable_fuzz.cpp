// Teskline answer tables: any bytes as a table file, parsed directly and then answered through
// the exported traversal call into arrays of exactly the sizes callers pass.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device_sdk/Teskline/HoleTable.h"
#include "device_sdk/Teskline/Teskline.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const std::string& TableFile() {
  static const std::string file = [] {
    std::string pattern = "/tmp/suite-fuzz-teskline-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    std::string path = std::string(name.data()) + "/Teskline.tab";
    setenv("TESKLINE_TABLE", path.c_str(), 1);
    return path;
  }();
  return file;
}

void WriteWhole(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
  close(fd);
}

// The names a table line starts with, as the parser splits words.
std::vector<std::string> FirstWords(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line) && names.size() < 4) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string name;
    if (words >> name) names.push_back(name);
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> errors;
  const teskline::HoleTable table = teskline::HoleTable::Parse(text, &errors);
  for (const std::string& name : FirstWords(text)) {
    const auto* answers = table.Find(name);
    if (!answers) continue;
    FUZZ_CHECK(!answers->empty());
    for (const teskline::HoleAnswer& answer : *answers) {
      FUZZ_CHECK(answer.rc >= -1000 && answer.rc <= 1000);
      FUZZ_CHECK(answer.addresses.size() <= TESK_ADDRESS_ENTRIES);
      FUZZ_CHECK(answer.servicePorts.size() <= TESK_PORT_ENTRIES);
      FUZZ_CHECK(answer.dvrLocalPorts.size() <= TESK_PORT_ENTRIES);
      FUZZ_CHECK(answer.clientNatPorts.size() <= TESK_PORT_ENTRIES);
      for (uint32_t address : answer.addresses) FUZZ_CHECK(address != 0);
    }
  }

  // Through the exported call: each array exactly as large as the interface promises, so a
  // write past its end is caught.
  WriteWhole(TableFile(), text);
  for (const std::string& name : FirstWords(text)) {
    auto service = std::make_unique<unsigned short[]>(TESK_PORT_ENTRIES);
    auto addresses = std::make_unique<unsigned int[]>(TESK_ADDRESS_ENTRIES);
    auto client = std::make_unique<unsigned short[]>(TESK_PORT_ENTRIES);
    auto local = std::make_unique<unsigned short[]>(TESK_PORT_ENTRIES);
    auto nat = std::make_unique<unsigned short[]>(TESK_PORT_ENTRIES);
    auto further = std::make_unique<unsigned char[]>(80);
    std::memset(further.get(), 0x5a, 80);
    const int rc = PelStartTESKMakeHole(name.c_str(), service.get(), 0, addresses.get(),
                                        client.get(), local.get(), further.get(), nat.get());
    FUZZ_CHECK(rc >= -1000 && rc <= 1000);
    for (int i = 0; i < 80; ++i) FUZZ_CHECK(further[i] == 0);
  }
  return 0;
}
