// The Linux port keeps nothing per call: after a warm-up round, 10,000 mixed
// calls (snapshots, walks, handles, facts, live strings, environment copies,
// owners) on live, ended and gone processes leave the host with the same open
// descriptors, the same platform handles and the same allocations.
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "allocation_count.h"
#include "children.h"
#include "mixed_calls.h"
#include "platform/emulated/emulation.h"

namespace {

namespace emu = zel::emu;
using zel::churn::CurrentAllocations;
using zel::churn::LiveAllocations;
using zel::churn::MixedCalls;
using zel::churn::WaitingChild;

constexpr std::size_t kWarmUpCalls = 1000;
constexpr std::size_t kMeasuredCalls = 10000;
// One layout of a process's memory: its PEB, its parameters block, its six
// strings and its environment.
constexpr std::size_t kRegionsOfALayout = 9;
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

// The emulation's model of the machine is a cache that the next snapshot
// query and each open rebuild from /proc. It holds the machine's other
// processes, whose number moves with whatever else runs (builds beside this
// one), so it is dropped before each reading: what is left is what the calls
// kept. Before it is dropped, it must not have grown with the calls.
void ExpectModelHoldsOneLayoutAProcess(emu::System& machine) {
  const std::lock_guard lock(machine.ModelMutex());
  for (const emu::ProcessModel& process : machine.processes)
    EXPECT_LE(process.memory.size(), kRegionsOfALayout) << "process " << process.id;
  std::set<std::string> sids;
  for (const emu::AccountModel& account : machine.accounts)
    EXPECT_TRUE(sids.insert(account.sid).second) << "account " << account.sid << " twice";
}

void DropModel(emu::System& machine) {
  const std::lock_guard lock(machine.ModelMutex());
  std::vector<emu::ProcessModel>().swap(machine.processes);
  std::vector<emu::AccountModel>().swap(machine.accounts);
}

struct Footprint {
  std::size_t descriptors = 0;
  std::size_t platformHandles = 0;
  LiveAllocations allocations;
  long long mallocInUse = 0;  // small blocks and mapped ones
};

Footprint Measure() {
  DropModel(emu::MachineSystem());
  Footprint footprint;
  footprint.descriptors = OpenDescriptors();
  footprint.platformHandles = emu::OpenHandleCount();
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
  ExpectModelHoldsOneLayoutAProcess(emu::MachineSystem());
  const Footprint after = Measure();

  std::printf(
      "churn leaks (linux): calls=%zu descriptors=%zu->%zu platform_handles=%zu->%zu "
      "operator_new_blocks=%zu->%zu operator_new_bytes=%zu->%zu malloc_in_use=%lld->%lld\n",
      made, before.descriptors, after.descriptors, before.platformHandles, after.platformHandles,
      before.allocations.count, after.allocations.count, before.allocations.bytes,
      after.allocations.bytes, before.mallocInUse, after.mallocInUse);
  std::fflush(stdout);

  EXPECT_GE(made, kMeasuredCalls);
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.platformHandles, 0u);
  EXPECT_EQ(after.allocations.count, before.allocations.count);
  EXPECT_EQ(after.allocations.bytes, before.allocations.bytes);
  EXPECT_LE(after.mallocInUse - before.mallocInUse, kMallocCacheSlack);
}

}  // namespace
