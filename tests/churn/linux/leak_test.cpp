// The Linux port keeps nothing per call: after a warm-up round, 10,000 mixed
// calls (snapshots, walks, handles, facts, live strings, environment copies,
// owners) on live, ended and gone processes leave the host with the same open
// descriptors and the same allocations.
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "support/linux/allocation_count.h"
#include "support/linux/children.h"
#include "support/churn/mixed_calls.h"

namespace {

using zel::churn::CurrentAllocations;
using zel::churn::LiveAllocations;
using zel::churn::MixedCalls;
using zel::churn::WaitingChild;

constexpr std::size_t kWarmUpCalls = 1000;
constexpr std::size_t kMeasuredCalls = 10000;
// What malloc's own counts may move by without any block being kept: each
// thread's cache holds up to seven freed chunks of each small size, which
// mallinfo2 still counts as in use. A leak of 16 bytes a call (160 KB over
// the calls) is far beyond it; the exact count of operator new's blocks
// catches smaller ones.
constexpr long long kMallocCacheSlack = 32 * 1024;

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(fds)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(fds);
  }
  return count;  // the listing's own descriptor included, every time
}

struct Footprint {
  std::size_t descriptors = 0;
  LiveAllocations allocations;
  long long mallocInUse = 0;  // small blocks and mapped ones
};

Footprint Measure() {
  Footprint footprint;
  footprint.descriptors = OpenDescriptors();
  footprint.allocations = CurrentAllocations();
  const struct mallinfo2 info = mallinfo2();
  footprint.mallocInUse = static_cast<long long>(info.uordblks + info.hblkhd);
  return footprint;
}

TEST(LeakCheckOnLinux, MixedCallsKeepNoDescriptorsHandlesOrMemory) {
  WaitingChild live, zombie, gone;
  const std::vector<unsigned> targets = {
      static_cast<unsigned>(getpid()), static_cast<unsigned>(live.Id()),
      static_cast<unsigned>(zombie.Id()), static_cast<unsigned>(gone.Id())};
  CZelProcess fixed;  // its snapshot holds the three children alive
  zombie.Kill();
  gone.Reap();
  MixedCalls calls(fixed, targets, CZelString::FromUtf8("churn_tests"));
  EXPECT_TRUE(calls.TargetsInSnapshot());

  calls.Run(kWarmUpCalls);
  const Footprint before = Measure();
  const std::size_t made = calls.Run(kMeasuredCalls);
  const Footprint after = Measure();

  std::printf(
      "churn leaks (linux): calls=%zu descriptors=%zu->%zu "
      "operator_new_blocks=%zu->%zu operator_new_bytes=%zu->%zu malloc_in_use=%lld->%lld\n",
      made, before.descriptors, after.descriptors, before.allocations.count,
      after.allocations.count, before.allocations.bytes, after.allocations.bytes,
      before.mallocInUse, after.mallocInUse);
  std::fflush(stdout);

  EXPECT_GE(made, kMeasuredCalls);
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.allocations.count, before.allocations.count);
  EXPECT_EQ(after.allocations.bytes, before.allocations.bytes);
  EXPECT_LE(after.mallocInUse - before.mallocInUse, kMallocCacheSlack);
}

}  // namespace
