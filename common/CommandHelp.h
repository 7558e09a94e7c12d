#pragma once

// --help and --version of the suite's programs and tools. They are answered before anything
// else starts (no window, no socket, no file), so they work without a screen; the manual pages
// are made from these texts at build time.

#include <cstdio>
#include <cstring>

#include "common/SuiteVersion.h"

namespace suite {

// The name the program was started under: a command link such as `korvel` keeps its own name,
// so the texts name the command the user typed.
inline const char* CommandName(const char* argv0) {
  if (argv0 == nullptr || *argv0 == '\0') return "";
  const char* slash = std::strrchr(argv0, '/');
  return slash != nullptr ? slash + 1 : argv0;
}

// When the only argument is --help or --version, prints the answer on standard output and
// returns true; the caller then exits with status 0. `synopsis` follows the command name on
// the usage line, `body` (ending in a newline) is the rest of the help text.
inline bool AnswerHelpOrVersion(int argc, char** argv, const char* synopsis, const char* body) {
  if (argc != 2 || argv[1] == nullptr) return false;
  const char* name = CommandName(argv[0]);
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s (korvel-suite) %s\n", name, SUITE_VERSION);
    return true;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    std::printf("Usage: %s %s\n%s", name, synopsis, body);
    return true;
  }
  return false;
}

}  // namespace suite
