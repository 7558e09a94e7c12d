#pragma once

// A broken promise found by a fuzz target: printed with its place and the process aborted, so
// that the fuzzer keeps the input and the replay test fails on it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__,       \
                   #condition);                                                        \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)
