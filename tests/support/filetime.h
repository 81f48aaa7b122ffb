// A FILETIME as the one count of 100-ns units that it holds in two halves, so
// that times order and compare as the platform's do.
#pragma once

#include <cstdint>

#include "ZelTypes.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace zel::test {

inline std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace zel::test
