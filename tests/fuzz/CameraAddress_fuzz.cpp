// Network camera addresses: any text as the address field of a camera slot and as a pasted
// rtsp:// address. Splitting never fails hard, and an address that splits builds a URL that
// splits back into the same host, port, path and credentials.

#include <cstddef>
#include <cstdint>
#include <string>

#include "camera_link/CameraUrl.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The password as RtspUrl writes it into the URL, percent-encoded.
  const std::string password = "Zq9@x:w/rd", encoded = "Zq9%40x%3Aw%2Frd";
  const camlink::CameraAddress slot = camlink::AddressFromSlot(text, 554, "admin", password);
  FUZZ_CHECK(slot.port == 554);
  FUZZ_CHECK(slot.host.size() + slot.path.size() <= text.size());
  FUZZ_CHECK(camlink::RtspUrl(slot).find(encoded) != std::string::npos);
  // Trace lines never carry the password.
  const std::string redacted = camlink::RedactedUrl(slot);
  FUZZ_CHECK(redacted.find(encoded) == std::string::npos || text.find(encoded) != std::string::npos);

  camlink::CameraAddress pasted;
  if (camlink::SplitRtspUrl(text, pasted)) {
    FUZZ_CHECK(!pasted.host.empty());
    FUZZ_CHECK(pasted.port > 0 && pasted.port <= 65535);
    // Hosts with characters a URL cannot carry as they are do not come back whole.
    // (Nor do credentials too long for a camera slot's fields, once percent-encoded.)
    if (pasted.host.find_first_of("/?#@[]") == std::string::npos &&
        pasted.path.find_first_of("?#") == std::string::npos &&
        pasted.user.size() + pasted.password.size() < 64) {
      camlink::CameraAddress again;
      FUZZ_CHECK(camlink::SplitRtspUrl(camlink::RtspUrl(pasted), again));
      FUZZ_CHECK(again.host == pasted.host);
      FUZZ_CHECK(again.port == pasted.port);
      FUZZ_CHECK(again.user == pasted.user);
      FUZZ_CHECK(again.path == pasted.path);
      if (!pasted.user.empty()) FUZZ_CHECK(again.password == pasted.password);
    }
  }
  return 0;
}
