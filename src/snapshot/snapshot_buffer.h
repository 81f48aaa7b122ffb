// The snapshot block: the records the native query wrote, preceded by a count
// of the process objects that share them. The last owner frees the block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel::snapshot {

// A block for `size` bytes of records, with one owner. Throws std::bad_alloc.
std::byte* Allocate(std::size_t size);
// One more owner of the block whose records start at `records`.
void Share(std::byte* records);
// One owner fewer; frees the block when it was the last. Null is ignored.
void Release(std::byte* records);
// The number that tells this block from every other the library has made,
// so that a handle can tell which snapshot it was made in; never 0.
std::uint32_t SerialOf(const std::byte* records);

}  // namespace zel::snapshot
