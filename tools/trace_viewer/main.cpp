// trace_viewer: the window titled "ZarorArided " that the deliverables send their trace lines
// to. Prints every line it receives on standard output (converted from GBK to UTF-8), one per
// line and flushed at once, so an operator can watch the trace live. Runs until Ctrl+C.

#include "common/CommandHelp.h"
#include "platform/TimeText.h"
#include "platform/TitledWindow.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <string>

namespace {

constexpr const char* kHelp =
    "Prints the trace lines the suite's programs and libraries send while they run, one per\n"
    "line as they arrive, each tagged by its source ([KORVEL], [HALVANE], [LUMARO], ...).\n"
    "Start it in a terminal before the program to watch; Ctrl+C ends it. Only one viewer can\n"
    "listen at a time.\n"
    "\n"
    "Options:\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Files:\n"
    "  $XDG_RUNTIME_DIR    the folder of the socket the programs send their lines to\n"
    "  /tmp/korvel-UID     the same, when XDG_RUNTIME_DIR is unset or not usable\n";

}  // namespace

int main(int argc, char** argv) {
  if (suite::AnswerHelpOrVersion(argc, argv, "[--help | --version]", kHelp)) return 0;
  // Ctrl+C and termination are taken by sigwait below, never by the server thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  std::mutex output_lock;
  platform::TitledWindowServer window;
  bool registered = window.Register(
      "ZarorArided ",
      [&](const std::string& text) {
        std::string line = platform::GbkToUtf8(text);
        std::lock_guard<std::mutex> guard(output_lock);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
      },
      [&](const platform::Message& message) {
        std::lock_guard<std::mutex> guard(output_lock);
        std::fprintf(stderr, "trace_viewer: message 0x%X wParam %ju lParam %jd\n",
                     message.message, static_cast<std::uintmax_t>(message.wParam),
                     static_cast<std::intmax_t>(message.lParam));
      });
  if (!registered) {
    std::fprintf(stderr, "trace_viewer: cannot register the window (%s): another viewer runs or "
                         "the runtime folder is not usable\n",
                 platform::TitledWindowSocketPath("ZarorArided ").c_str());
    return 1;
  }
  std::fprintf(stderr, "trace_viewer: listening on %s\n",
               platform::TitledWindowSocketPath("ZarorArided ").c_str());
  std::fflush(stderr);

  int received = 0;
  sigwait(&stop_signals, &received);
  window.Unregister();
  return 0;
}
