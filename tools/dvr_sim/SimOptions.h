#pragma once

#include <string>

namespace dvr_sim {

// Command line of the simulator, with its defaults.
struct SimOptions {
  std::string listen_address = "127.0.0.1";
  int port = 8670;
  int device_kind = 0;            // 0, 1, 2 -> 4, 16, 8 channels
  std::string user = "admin";
  std::string password;
  std::string catalogue_folder = "dvr_sim_catalogue";
  int width = 352;
  int height = 288;
  int frame_rate = 25;
  double loop_seconds = 0;        // > 0: encode this much once per channel and repeat it
  double drop_after_seconds = 0;  // > 0: drop each connection this long after its login
  std::string device_name = "DVR-SIM";
  std::string request_log;        // non-empty: one line per request received, appended here

  int channels() const { return device_kind == 1 ? 16 : device_kind == 2 ? 8 : 4; }
};

// Parses argv; on an error or --help prints the usage to stderr and returns false.
bool ParseOptions(int argc, char** argv, SimOptions& options);

// "usage: dvr_sim [options]" and one line per option.
const char* UsageText();

}  // namespace dvr_sim
