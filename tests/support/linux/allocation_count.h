// The allocations the whole process holds through operator new, counted by
// replacing the global operators: every module of the process (the library
// and its framework libraries too) allocates through the ones defined here.
#pragma once

#include <cstddef>

namespace zel::churn {

struct LiveAllocations {
  std::size_t count = 0;
  std::size_t bytes = 0;  // as the allocator reserved them
  bool operator==(const LiveAllocations&) const = default;
};

LiveAllocations CurrentAllocations();

}  // namespace zel::churn
