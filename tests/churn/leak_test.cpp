// The library keeps nothing per call, on Linux and under Wine: after a
// warm-up round, 10,000 mixed calls (snapshots, walks, handles, facts, live
// strings, environment copies, owners, main windows) on live, ended and gone
// processes leave the host with the same handles (on Linux descriptors) and
// the same heap blocks (support/churn/footprint.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "ZelProcess.h"
#include "support/churn/children.h"
#include "support/churn/footprint.h"
#include "support/churn/mixed_calls.h"

namespace {

using namespace zel::churn;

constexpr std::size_t kWarmUpCalls = 1000;
constexpr std::size_t kMeasuredCalls = 10000;

TEST(LeakCheck, FootprintSeesBlocksComeAndGo) {
  // Otherwise equal counts below would prove nothing.
  const Footprint before = MeasureFootprint();
  std::vector<std::vector<char>> blocks;
  for (int i = 0; i < 100; ++i) blocks.emplace_back(16);
  const Footprint during = MeasureFootprint();
  blocks.clear();
  blocks.shrink_to_fit();
  const Footprint after = MeasureFootprint();
  EXPECT_GE(during.blocks, before.blocks + 100);
  EXPECT_GE(during.bytes, before.bytes + 1600);
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.bytes, before.bytes);
  EXPECT_GT(before.heap, 0);
}

TEST(LeakCheck, MixedCallsKeepNoHandlesOrMemory) {
  WaitingChild live, ended, gone;
  const std::vector<unsigned> targets = {HostId(), live.Id(), ended.Id(), gone.Id()};
  CZelProcess fixed;  // its snapshot holds the three children alive
  ended.End();
  gone.Release();
  ASSERT_TRUE(WaitUntilGone({gone.Id()})) << "the released child can still be found";
  ExpectHandleCountToTrackHandles(live.Id());
  MixedCalls calls(fixed, targets, CZelString::FromUtf8(ThisTarget().imageName));
  EXPECT_TRUE(calls.TargetsInSnapshot());

  calls.Run(kWarmUpCalls);
  const Footprint before = MeasureFootprint();
  const std::size_t made = calls.Run(kMeasuredCalls);
  const Footprint after = MeasureFootprint();

  std::printf(
      "churn leaks (%s): calls=%zu handles=%zu->%zu heap_blocks=%zu->%zu heap_bytes=%zu->%zu "
      "heap=%lld->%lld\n",
      ThisTarget().name, made, before.handles, after.handles, before.blocks, after.blocks,
      before.bytes, after.bytes, before.heap, after.heap);
  std::fflush(stdout);

  EXPECT_GE(made, kMeasuredCalls);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.bytes, before.bytes);
  EXPECT_LE(after.heap - before.heap, HeapSlack());
}

}  // namespace
