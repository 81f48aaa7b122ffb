// The image name of a snapshot record.
#pragma once

#include <array>
#include <cstring>
#include <vector>

#include "ZelString.h"
#include "records.h"

namespace zel::records {

// The counted name copied out of the record; an odd byte length drops its last
// byte, and a length of 0 never follows the pointer. Throws std::bad_alloc.
inline CZelString ReadName(const std::byte* process) {
  const auto bytes = Load<std::uint16_t>(process, ZEL_OFFSET(SystemProcess, ImageName.Length));
  const std::size_t units = bytes / sizeof(unsigned short);
  if (units == 0) return CZelString();
  const auto* text = reinterpret_cast<const std::byte*>(static_cast<std::uintptr_t>(
      Load<std::uint64_t>(process, ZEL_OFFSET(SystemProcess, ImageName.Buffer))));
  // Names are short; the copy stays on the stack unless one is not.
  constexpr std::size_t kShortName = 128;
  if (units <= kShortName) {
    std::array<unsigned short, kShortName> local;
    std::memcpy(local.data(), text, units * sizeof(unsigned short));
    return CZelString(local.data(), units);
  }
  std::vector<unsigned short> heap(units);
  std::memcpy(heap.data(), text, units * sizeof(unsigned short));
  return CZelString(heap.data(), units);
}

}  // namespace zel::records
