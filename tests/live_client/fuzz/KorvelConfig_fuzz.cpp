// libFuzzer target: "Korvel.cfg" bytes of any shape. Reading never crashes, never reads past the
// bytes it was given, and whatever it read saves and reads back to the same file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "live_client/core/KorvelConfig.h"

namespace {

struct PageTable {
  CPageInfo table[kPageCount];
};

std::string Store(PageTable& pages, CKorvelSettings& settings) {
  CArchive out;
  SerializeConfig(out, pages.table, settings);
  return out.Stored();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto pages = std::make_unique<PageTable>();
  CKorvelSettings settings;
  CArchive in(std::string_view(reinterpret_cast<const char*>(data), size));
  SerializeConfig(in, pages->table, settings);

  // Texts holding a line end do not survive a text line; everything else must.
  for (CPageInfo& page : pages->table)
    for (CCameraInfo& slot : page.camera)
      for (std::string* text : {&slot.strCamDesc, &slot.strSvrDesc, &slot.strAddr, &slot.strUser, &slot.strPassword})
        if (text->find_first_of("\r\n") != std::string::npos) text->clear();

  const std::string first = Store(*pages, settings);
  auto again = std::make_unique<PageTable>();
  CKorvelSettings settingsAgain;
  CArchive reread(first);
  SerializeConfig(reread, again->table, settingsAgain);
  if (Store(*again, settingsAgain) != first) std::abort();
  return 0;
}
