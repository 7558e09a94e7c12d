// "Korvel.cfg": any bytes loaded as the live client's configuration over its defaults. Loading
// must stop quietly at a short or malformed record; what it kept must save to a file that
// loads back to the same configuration, so that saving at exit never changes what the
// operator had.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "live_client/core/Archive.h"
#include "live_client/core/KorvelConfig.h"
#include "live_client/core/PageInfo.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

struct Configuration {
  CPageInfo pages[kPageCount];
  CKorvelSettings settings;
};

std::string Save(Configuration& configuration) {
  CArchive out;
  SerializeConfig(out, configuration.pages, configuration.settings);
  return out.Stored();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  auto loaded = std::make_unique<Configuration>();
  CArchive in(std::string_view(reinterpret_cast<const char*>(data), size));
  SerializeConfig(in, loaded->pages, loaded->settings);
  FUZZ_CHECK(in.Remaining() <= size);

  const std::string saved = Save(*loaded);
  auto reloaded = std::make_unique<Configuration>();
  CArchive again(saved);
  SerializeConfig(again, reloaded->pages, reloaded->settings);
  FUZZ_CHECK(again.Remaining() == 0);
  FUZZ_CHECK(Save(*reloaded) == saved);
  return 0;
}
