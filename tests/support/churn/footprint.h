// What the host holds, measured alike before and after the leak check's
// calls, on each target its own way (support/linux/footprint.cpp,
// support/windows/footprint.cpp).
#pragma once

#include <cstddef>

namespace zel::churn {

struct Footprint {
  // The platform handles the host holds: on Linux its open descriptors,
  // under Wine the entries of the system's handle table that are the host's
  // (Wine answers GetProcessHandleCount with 0 whatever the host holds).
  std::size_t handles = 0;
  // The heap blocks in use and their bytes, counted exactly: on Linux those
  // of operator new, which every module of the host allocates through, under
  // Wine the busy blocks of every heap of the host.
  std::size_t blocks = 0;
  std::size_t bytes = 0;
  // What the heaps hold for the blocks (on Linux malloc's bytes in use, or
  // AddressSanitizer's, under Wine the heaps' committed bytes), which may
  // move by HeapSlack() without a block being kept.
  long long heap = 0;
};

// Allocates nothing that it does not give back before it returns.
Footprint MeasureFootprint();
long long HeapSlack();

// The handle count must move with the handles, or an unchanged count proves
// nothing: holds one more handle on the process and expects the count to
// grow by one.
void ExpectHandleCountToTrackHandles(unsigned processId);

}  // namespace zel::churn
