// The owners of the public ZelHandles.h under the names that the Windows
// tests' helpers use.
#pragma once

#include "ZelHandles.h"

namespace zel::host {
using zel::EnvironmentCopy;
using zel::FindHandle;
}  // namespace zel::host
