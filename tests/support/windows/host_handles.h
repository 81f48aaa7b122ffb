// Owners of the handles the tests hold on the host: Win32 handles, and the
// library's own handles of its process object, each closed on every path out
// of a test.
#pragma once

#include "ZelProcess.h"
#include "host/win32_handle.h"
#include "ZelHandles.h"

namespace zel::test {

using zel::host::OwnedHandle;

// Tests that check what closing returns close it themselves with Close(); the
// destructor releases it otherwise.
using ZelHandle = zel::FindHandle;

}  // namespace zel::test
