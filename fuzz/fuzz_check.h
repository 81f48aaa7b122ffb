// The failed-check report of the fuzzers: libFuzzer keeps the input that
// aborts, so a failed check becomes a crash with its reason beside it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define ZEL_FUZZ_CHECK(condition)                                                        \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
