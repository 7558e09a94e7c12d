#include "tools/dvr_sim/SimOptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace dvr_sim {
namespace {

constexpr const char* kUsage =
    "usage: dvr_sim [options]\n"
    "  --listen ADDRESS      IPv4 address to listen on (127.0.0.1)\n"
    "  --port PORT           TCP port (8670)\n"
    "  --kind 0|1|2          device kind: 4, 16 or 8 channels (0)\n"
    "  --user NAME           login user, at most 12 characters (admin)\n"
    "  --password TEXT       login password, at most 12 characters (empty)\n"
    "  --catalogue FOLDER    folder of the recordings catalogue (dvr_sim_catalogue)\n"
    "  --size WxH            picture size, even numbers (352x288)\n"
    "  --loop SECONDS        encode this much per channel once and repeat it (0: live)\n"
    "  --drop-after SECONDS  drop each connection this long after its login (0: never)\n"
    "  --name TEXT           device name reported at login (DVR-SIM)\n"
    "  --request-log FILE    append one line per request received to FILE\n"
    "SIGUSR1 drops every open connection.\n";

bool Number(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end && *end == '\0' && end != text;
}

}  // namespace

const char* UsageText() { return kUsage; }

bool ParseOptions(int argc, char** argv, SimOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stderr);
      return false;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "dvr_sim: %s needs a value\n%s", arg.c_str(), kUsage);
      return false;
    }
    const char* value = argv[++i];
    double number = 0;
    bool ok = true;
    if (arg == "--listen") {
      o.listen_address = value;
    } else if (arg == "--port") {
      ok = Number(value, number) && number >= 1 && number <= 65535;
      o.port = int(number);
    } else if (arg == "--kind") {
      ok = Number(value, number) && (number == 0 || number == 1 || number == 2);
      o.device_kind = int(number);
    } else if (arg == "--user") {
      o.user = value;
      ok = o.user.size() <= 12;
    } else if (arg == "--password") {
      o.password = value;
      ok = o.password.size() <= 12;
    } else if (arg == "--catalogue") {
      o.catalogue_folder = value;
    } else if (arg == "--size") {
      int w = 0, h = 0;
      ok = std::sscanf(value, "%dx%d", &w, &h) == 2 && w >= 16 && h >= 16 && w <= 1920 &&
           h <= 1088 && w % 2 == 0 && h % 2 == 0;
      o.width = w;
      o.height = h;
    } else if (arg == "--loop") {
      ok = Number(value, number) && number >= 0 && number <= 60;
      o.loop_seconds = number;
    } else if (arg == "--drop-after") {
      ok = Number(value, number) && number >= 0;
      o.drop_after_seconds = number;
    } else if (arg == "--name") {
      o.device_name = value;
    } else if (arg == "--request-log") {
      o.request_log = value;
    } else {
      std::fprintf(stderr, "dvr_sim: unknown option %s\n%s", arg.c_str(), kUsage);
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "dvr_sim: bad value for %s: %s\n", arg.c_str(), value);
      return false;
    }
  }
  return true;
}

}  // namespace dvr_sim
