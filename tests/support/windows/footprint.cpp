// The host's handles in the system's handle table, and the blocks of every
// heap of the host.
#include "support/churn/footprint.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>

#include "handle_count.h"

namespace zel::churn {

Footprint MeasureFootprint() {
  Footprint footprint;
  footprint.handles = zel::test::HandleCount();
  // On the stack, so that counting allocates nothing.
  std::array<HANDLE, 64> heaps{};
  const DWORD found = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  EXPECT_GT(found, 0u);
  EXPECT_LE(found, heaps.size());
  for (DWORD i = 0; i < found && i < heaps.size(); ++i) {
    if (!::HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_REGION) footprint.heap += entry.Region.dwCommittedSize;
      if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
      ++footprint.blocks;
      footprint.bytes += entry.cbData;
    }
    ::HeapUnlock(heaps[i]);
  }
  return footprint;
}

// The heaps' committed bytes grow as the allocator takes new pages for
// blocks, and need not shrink when blocks are freed: they may move by a few
// pages without a block being kept, far less than the 160 KB that a leak of
// 16 bytes a call would take.
long long HeapSlack() { return 64 * 1024; }

void ExpectHandleCountToTrackHandles(unsigned processId) {
  zel::test::ExpectHandleCountToTrackHandles(processId);
}

}  // namespace zel::churn
