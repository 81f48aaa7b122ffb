// The blocks that GetEnvironmentBuffer hands to the host and
// FreeEnvironmentBuffer takes back. The library keeps the address of every
// block it has handed out and not yet taken back, so that a block given back
// is known to be its own without probing the host's memory: a pointer that
// is not one of them is refused, never freed.
#pragma once

#include <cstddef>
#include <memory>

#include "snapshot_records.h"

namespace zel::source {

struct DeleteEnvironment {
  void operator()(unsigned char* buffer) const;
};
using EnvironmentBuffer = std::unique_ptr<unsigned char[], DeleteEnvironment>;

// A block of `size` bytes (what GetEnvironmentBuffer hands out by default), listed as the library's
// own, or null when it cannot be had. Its ownership passes to the host with release(); the host
// gives it back through FreeEnvironmentBuffer.
EnvironmentBuffer NewEnvironmentBuffer(std::size_t size = layout::kEnvironmentReadSize);
// Takes back a block that NewEnvironmentBuffer made and that has not been
// taken back, and frees it; false, freeing nothing, for any other pointer.
bool TakeBackEnvironmentBuffer(unsigned char* buffer);

}  // namespace zel::source
