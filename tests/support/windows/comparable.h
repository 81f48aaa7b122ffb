// What the library hands back, in forms a test can compare with the
// platform's own answers and print when they differ.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ZelProcess.h"
#include "support/filetime.h"

namespace zel::test {

// The whole string, embedded NULs included, which c_wstr alone would cut.
inline std::wstring Text(const CZelString& string) {
  return std::wstring(string.c_wstr(), string.GetLength());
}

}  // namespace zel::test
