// The block that GetEnvironmentBuffer hands to the host and
// FreeEnvironmentBuffer takes back.
#pragma once

#include <memory>
#include <new>

#include "../platform/layouts.h"

namespace zel::inspect {

struct DeleteEnvironment {
  void operator()(unsigned char* buffer) const { delete[] buffer; }
};
using EnvironmentBuffer = std::unique_ptr<unsigned char[], DeleteEnvironment>;

// A block of the size the host is given, or null when it cannot be had. Its
// ownership passes to the host, who gives it back through
// FreeEnvironmentBuffer.
inline EnvironmentBuffer NewEnvironmentBuffer() {
  return EnvironmentBuffer(new (std::nothrow) unsigned char[layout::kEnvironmentReadSize]);
}

}  // namespace zel::inspect
