// What the library hands back, in forms a test can compare with the
// platform's own answers and print when they differ.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ZelProcess.h"

namespace zel::test {

// The whole string, embedded NULs included, which c_wstr alone would cut.
inline std::wstring Text(const CZelString& string) {
  return std::wstring(string.c_wstr(), string.GetLength());
}

// One number, so that times order and compare as the platform's do.
inline std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace zel::test
