// The fake kernel's handle table: every handle that an fake call
// opens stays counted until CloseHandle.
#pragma once

#include <cstdint>

#include "api.h"

namespace zel::fake {

enum class HandleKind { Process, Thread, Token };

struct HandleEntry {
  HandleKind kind;
  std::uint32_t id;  // process ID (also for a token), or thread ID
  os::DWORD access;
};

os::HANDLE OpenHandle(const HandleEntry& entry);
// The entry of an open handle of the given kind, or null.
const HandleEntry* FindHandle(os::HANDLE handle, HandleKind kind);

}  // namespace zel::fake
