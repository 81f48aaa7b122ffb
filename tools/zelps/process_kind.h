// Whether a process is a 32-bit one on 64-bit Windows. The library's
// interface does not say, so zelps asks Windows itself.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "host/win32_handle.h"
#endif

namespace zelps {

// False where it cannot be told (a process the caller may not open, or one
// gone), and on every other platform.
inline bool IsWow64Process([[maybe_unused]] unsigned id) {
#ifdef _WIN32
  const zel::host::OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  BOOL wow64 = FALSE;
  return process && ::IsWow64Process(process.Get(), &wow64) && wow64;
#else
  return false;
#endif
}

}  // namespace zelps
