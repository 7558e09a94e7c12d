// Network camera service replies: any text as the answer to every call and as a discovery
// answer. Reading never fails hard; what a reader accepts holds what its caller relies on.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camera_link/OnvifReply.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace camlink::onvif;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;

  FaultInfo fault;
  const Result envelope = CheckEnvelope(text, fault, error);
  FUZZ_CHECK(envelope == Result::Ok || envelope == Result::Fault || envelope == Result::BadReply);
  FUZZ_CHECK(envelope == Result::Ok || !error.empty());

  CameraClock clock;
  if (ParseSystemDateAndTime(text, clock, error) == Result::Ok) {
    FUZZ_CHECK(clock.month >= 1 && clock.month <= 12 && clock.day >= 1 && clock.day <= 31);
    FUZZ_CHECK(clock.hour >= 0 && clock.hour <= 23 && clock.minute >= 0 && clock.minute <= 59);
    FUZZ_CHECK(clock.year >= 1970);
  }

  std::vector<Profile> profiles;
  if (ParseProfiles(text, profiles, error) == Result::Ok) {
    for (const Profile& profile : profiles) {
      FUZZ_CHECK(!profile.token.empty());
      FUZZ_CHECK(profile.width >= 0 && profile.width <= 65535);
      FUZZ_CHECK(profile.height >= 0 && profile.height <= 65535);
    }
  }

  // A reader never answers Ok for a reply the envelope check calls a fault.
  DeviceInfo info;
  const Result device = ParseDeviceInformation(text, info, error);
  FUZZ_CHECK(!(device == Result::Ok && envelope == Result::Fault));
  Capabilities capabilities;
  ParseCapabilities(text, capabilities, error);
  std::string uri;
  if (ParseMediaUri(text, uri, error) == Result::Ok) FUZZ_CHECK(!uri.empty());
  double iris = 0.0;
  bool present = false;
  if (ParseIris(text, iris, present, error) == Result::Ok && present) FUZZ_CHECK(std::isfinite(iris));
  std::string token;
  if (ParsePresetToken(text, token, error) == Result::Ok) FUZZ_CHECK(!token.empty());

  std::vector<DiscoveredDevice> devices;
  if (ParseProbeMatches(text, "", devices, error) == Result::Ok) {
    for (const DiscoveredDevice& found : devices) FUZZ_CHECK(!found.xaddrs.empty());
  }
  return 0;
}
