// The blocks that GetEnvironmentBuffer and GetEnvironmentBlock hand to the
// host and FreeEnvironmentBuffer takes back. The library keeps the address
// of every block it has handed out and not yet taken back, so that a block
// given back is known to be its own without probing the host's memory: a
// pointer that is not one of them is refused, never freed.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

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

// The most that GetEnvironmentBlock copies of a block, in bytes: a block
// that does not end within them is cut.
using zel::kEnvironmentBlockLimit;

// Where the terminating empty string of a block of UTF-16 units lies among
// units [from, count): the index of its NUL, or nothing. Only the empty
// string starts the block or follows a NUL, so a look may go on from where
// an earlier one over fewer units stopped.
std::optional<std::size_t> BlockEnd(const unsigned short* units, std::size_t from,
                                    std::size_t count);

// What GetEnvironmentBlock hands out: a listed copy (null when it cannot be
// had), its size in bytes, and whether the limit cut it.
struct BlockCopy {
  EnvironmentBuffer buffer;
  std::size_t size = 0;
  bool cut = false;
};
// The copy of a block whose first `count` units lie at `units`. A block that
// ends within the limit is copied up to and including its terminating empty
// string (an empty block as two NULs). One that does not is cut: the copy
// holds the variables that end within the limit and an empty string after
// them, so that it ends as a whole block does.
BlockCopy CopyBlock(const unsigned short* units, std::size_t count);

}  // namespace zel::source
