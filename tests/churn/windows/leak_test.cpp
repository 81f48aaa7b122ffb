// The library keeps nothing per call under Wine: after a warm-up round,
// 10,000 mixed calls (snapshots, walks, handles, facts, live strings,
// environment copies, owners, main windows) on live, ended and gone
// processes leave the host with the same handles and the same heap blocks.
// The handles are counted in the system's handle table (handle_count.h), the
// blocks by walking every heap of the host.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/children.h"
#include "support/windows/handle_count.h"
#include "support/churn/mixed_calls.h"

namespace {

using zel::churn::MixedCalls;
using zel::churn::WaitingChild;
using zel::churn::WaitUntilGone;
using zel::test::ExpectHandleCountToTrackHandles;
using zel::test::HandleCount;

constexpr std::size_t kWarmUpCalls = 1000;
constexpr std::size_t kMeasuredCalls = 10000;
// The heaps' committed bytes grow as the allocator takes new pages for
// blocks, and need not shrink when blocks are freed: they may move by a few
// pages without a block being kept. The blocks themselves are counted
// exactly; this bound is for the pages, far below the 160 KB that a leak of
// 16 bytes a call would take.
constexpr long long kCommittedSlack = 64 * 1024;

// The blocks in use in every heap of the host: the C runtime's, which the
// library's allocations come from, and the process heap.
struct HeapBlocks {
  std::size_t count = 0;
  std::size_t bytes = 0;
  long long committed = 0;  // of the heaps' regions
};

HeapBlocks BusyHeapBlocks() {
  // On the stack, so that counting allocates nothing.
  std::array<HANDLE, 64> heaps{};
  const DWORD found = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  EXPECT_GT(found, 0u);
  EXPECT_LE(found, heaps.size());
  HeapBlocks blocks;
  for (DWORD i = 0; i < found && i < heaps.size(); ++i) {
    if (!::HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_REGION) blocks.committed += entry.Region.dwCommittedSize;
      if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
      ++blocks.count;
      blocks.bytes += entry.cbData;
    }
    ::HeapUnlock(heaps[i]);
  }
  return blocks;
}

// Reported for the figures only: Wine answers it with 0 whatever the host
// holds, so under Wine it can show no leak.
long long PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  EXPECT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(),
                                     reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                     sizeof counters));
  return static_cast<long long>(counters.PrivateUsage);
}

struct Footprint {
  std::size_t handles = 0;
  HeapBlocks heap;
  long long privateBytes = 0;
};

Footprint Measure() {
  Footprint footprint;
  footprint.handles = HandleCount();
  footprint.heap = BusyHeapBlocks();
  footprint.privateBytes = PrivateBytes();
  return footprint;
}

TEST(LeakCheckUnderWine, HeapWalkSeesBlocksComeAndGo) {
  // Otherwise equal counts below would prove nothing.
  const HeapBlocks before = BusyHeapBlocks();
  std::vector<std::vector<char>> blocks;
  for (int i = 0; i < 100; ++i) blocks.emplace_back(16);
  const HeapBlocks during = BusyHeapBlocks();
  blocks.clear();
  blocks.shrink_to_fit();
  const HeapBlocks after = BusyHeapBlocks();
  EXPECT_GE(during.count, before.count + 100);
  EXPECT_GE(during.bytes, before.bytes + 1600);
  EXPECT_EQ(after.count, before.count);
  EXPECT_EQ(after.bytes, before.bytes);
  EXPECT_GT(before.committed, 0);
}

TEST(LeakCheckUnderWine, MixedCallsKeepNoHandlesOrMemory) {
  WaitingChild live, ended, gone;
  const std::vector<unsigned> targets = {
      static_cast<unsigned>(::GetCurrentProcessId()), static_cast<unsigned>(live.Id()),
      static_cast<unsigned>(ended.Id()), static_cast<unsigned>(gone.Id())};
  CZelProcess fixed;  // its snapshot holds the three children alive
  ended.End();
  gone.Release();
  ASSERT_TRUE(WaitUntilGone({gone.Id()})) << "the released child can still be opened";
  ExpectHandleCountToTrackHandles(live.Id());
  MixedCalls calls(fixed, targets, CZelString(L"churn_tests.exe"));
  EXPECT_TRUE(calls.TargetsInSnapshot());

  calls.Run(kWarmUpCalls);
  const Footprint before = Measure();
  const std::size_t made = calls.Run(kMeasuredCalls);
  const Footprint after = Measure();

  std::printf(
      "churn leaks (wine): calls=%zu handles=%zu->%zu heap_blocks=%zu->%zu heap_bytes=%zu->%zu "
      "heap_committed=%lld->%lld private_bytes=%lld->%lld\n",
      made, before.handles, after.handles, before.heap.count, after.heap.count, before.heap.bytes,
      after.heap.bytes, before.heap.committed, after.heap.committed, before.privateBytes,
      after.privateBytes);
  std::fflush(stdout);

  EXPECT_GE(made, kMeasuredCalls);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.heap.count, before.heap.count);
  EXPECT_EQ(after.heap.bytes, before.heap.bytes);
  EXPECT_LE(after.heap.committed - before.heap.committed, kCommittedSlack);
}

}  // namespace
