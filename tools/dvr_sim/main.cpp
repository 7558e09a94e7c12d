// dvr_sim: a simulated network video recorder for the DVR SDK. See device_sdk/PROTOCOLS.md.
//
// SIGUSR1 drops every open connection (the recorder keeps listening); SIGINT and SIGTERM end
// the simulator.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/CommandHelp.h"
#include "tools/dvr_sim/Server.h"
#include "tools/dvr_sim/SimOptions.h"

namespace {

std::atomic<bool> g_stop{false};      // set by SIGINT / SIGTERM
std::atomic<bool> g_drop_all{false};  // set by SIGUSR1

void OnSignal(int signal) {
  if (signal == SIGUSR1)
    g_drop_all = true;
  else
    g_stop = true;
}

}  // namespace

int main(int argc, char** argv) {
  // What the simulator is, then the option lines of the usage text below its first line.
  const std::string help =
      "A simulated network video recorder: serves logins, live streams of synthetic cameras,\n"
      "a catalogue of recordings and their downloads on one TCP port, for testing and\n"
      "demonstrating the live client and the playback program without recorder hardware.\n"
      "\nOptions:\n"
      "  --help               print this text and exit\n"
      "  --version            print the version and exit\n" +
      std::string(std::strchr(dvr_sim::UsageText(), '\n') + 1);
  if (suite::AnswerHelpOrVersion(argc, argv, "[options]", help.c_str())) return 0;
  dvr_sim::SimOptions options;
  if (!dvr_sim::ParseOptions(argc, argv, options)) return 2;
  struct sigaction action{};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGUSR1, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  dvr_sim::Server server(options);
  if (!server.Open()) return 1;
  server.Run(g_stop, g_drop_all);
  return 0;
}
