// How many handles the host holds, for tests that check that the library
// leaves none of its own behind.
#pragma once

#include <windows.h>

#include <cstddef>

namespace zel::test {

// The handles the host holds, as the system's handle table lists them.
// GetProcessHandleCount would do on Windows, but Wine answers it with 0 whatever
// the process holds.
std::size_t HandleCount();

// The handle count must move with the handles, or an unchanged count proves
// nothing: opens one more handle, on `processId`, and expects the count to
// grow by one.
void ExpectHandleCountToTrackHandles(DWORD processId);

}  // namespace zel::test
