// The library while children keep starting and exiting, on Linux over /proc
// and on Windows under Wine: snapshots taken one after another stay whole,
// and a lister that reads everything of every process, while processes exit
// in the middle of its walk, gets only the codes that a process which went
// away can give.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "support/churn/allowed_codes.h"
#include "support/churn/children.h"
#include "support/churn/code_tally.h"
#include "support/churn/lister.h"
#include "support/churn/refreshes.h"

namespace {

using namespace zel::churn;

constexpr std::size_t kPoolSlots = 50;
constexpr int kRefreshes = 1000;

void ExpectFewStartFailures(const ChurnPool& pool) {
  const Target& target = ThisTarget();
  std::printf("churn pool (%s): children_started=%zu start_failures=%zu last_failure_code=%d\n",
              target.name, pool.Started(), pool.StartFailures(), pool.LastStartFailure());
  const std::size_t allowed =
      target.startsPerAllowedFailure ? pool.Started() / target.startsPerAllowedFailure : 0;
  EXPECT_LE(pool.StartFailures(), allowed) << "last code " << pool.LastStartFailure();
}

// What every churn run ends with: its tally printed, no code but the allowed
// ones, and few failed starts.
void ExpectCleanRun(const std::string& run, const CodeTally& tally, const ChurnPool& pool) {
  tally.Print(run + " (" + ThisTarget().name + ")");
  ExpectOnlyAllowed(tally);
  ExpectFewStartFailures(pool);
}

TEST(Churn, EveryRefreshSucceedsWithAWholeSnapshot) {
  const Target& target = ThisTarget();
  CodeTally tally;
  CZelProcess refresher;
  CZelProcess walker(refresher);
  Lister lister(walker, tally);
  if (target.listsStartingChildren) lister.TolerateStartingChildrenOf(HostId());
  ChurnPool pool(kPoolSlots);
  const auto keep_pace = [&](int done) {
    pool.KeepPace(done * target.childrenDuringRefreshes / kRefreshes);
  };
  const RefreshFigures run =
      RunRefreshes(refresher, walker, lister, tally, HostId(), kRefreshes, keep_pace);
  const std::size_t started = pool.Started();

  std::printf(
      "churn refresh (%s): refreshes=%d children_started=%zu children_seen=%zu "
      "child_exits_seen=%zu processes_per_snapshot=%zu..%zu %s\n",
      target.name, kRefreshes, started, run.childrenSeen, run.exitsSeen, run.fewest, run.most,
      lister.Figures().Line().c_str());
  ExpectCleanRun("churn refresh", tally, pool);
  // The churn was real: the pool restarted its slots while the snapshots were
  // taken, and the snapshots saw children come and go.
  EXPECT_GT(started, kPoolSlots);
  EXPECT_GT(run.childrenSeen, 0u);
  EXPECT_GT(run.exitsSeen, 0u);
}

// How a child is made to go while the lister reads it.
enum class Ending {
  kEnded,       // ended at its step, and still held by the host: it opens,
                // but has no memory
  kReleased,    // ended and let go of at its step: soon its ID names no
                // process (under Wine it stays open a while)
  kGoneBefore,  // ended and let go of once the snapshot is taken, and gone
                // before the walk starts
};

struct PlannedEnding {
  Ending how;
  int step;
  WaitingChild* child;
  bool done = false;
};

TEST(Churn, ListerGetsOnlyTheCodesOfProcessesThatWentAway) {
  constexpr int kVictimsPerRound = 21;
  const Target& target = ThisTarget();
  CodeTally tally;
  CZelProcess processes;
  Lister lister(processes, tally);
  if (target.listsStartingChildren) lister.TolerateStartingChildrenOf(HostId());
  std::size_t planned = 0, ended = 0;
  int turns[3] = {};

  ChurnPool pool(kPoolSlots);
  for (int round = 0; round < target.listerRounds; ++round) {
    std::vector<std::unique_ptr<WaitingChild>> victims;
    std::map<unsigned, PlannedEnding> plan;
    for (int i = 0; i < kVictimsPerRound; ++i) {
      victims.push_back(std::make_unique<WaitingChild>());
      const auto how = static_cast<Ending>(i % 3);
      // Each way of ending takes the steps in turn, the second from half-way,
      // so that over the rounds a death comes before every step.
      const int turn = ++turns[static_cast<int>(how)];
      const int step = (turn + static_cast<int>(how) * Lister::kStepCount / 2) % Lister::kStepCount;
      plan.emplace(victims.back()->Id(), PlannedEnding{how, step, victims.back().get()});
    }
    ASSERT_EQ(processes.Refresh(), 1);
    std::vector<unsigned> goneBefore;
    for (auto& [id, ending] : plan) {
      void* found = processes.CreateHandleFromPID(id);
      EXPECT_NE(found, nullptr) << "the snapshot misses the waiting child " << id;
      processes.CloseHandle(found);
      if (ending.how != Ending::kGoneBefore) continue;
      ending.child->Release();
      ending.done = true;
      ++ended;
      goneBefore.push_back(id);
    }
    ASSERT_TRUE(WaitUntilGone(goneBefore)) << "an ended child can still be found";
    planned += plan.size();
    lister.Walk(true, [&](unsigned id, int step) {
      const auto found = plan.find(id);
      if (found == plan.end() || found->second.done || found->second.step != step) return;
      PlannedEnding& ending = found->second;
      if (ending.how == Ending::kEnded)
        ending.child->End();
      else
        ending.child->Release();
      ending.done = true;
      ++ended;
    });
  }
  const std::size_t started = pool.Started();

  const auto& figures = lister.Figures();
  std::printf("churn lister (%s): %s children_started=%zu children_ended_mid_walk=%zu\n",
              target.name, figures.Line().c_str(), started + planned, ended);
  ExpectCleanRun("churn lister", tally, pool);
  EXPECT_EQ(ended, planned) << "the walk did not reach every child it was to end";
  // The deliberate endings reached the library: a gone process's open, and
  // an ended one's memory.
  EXPECT_TRUE(tally.Saw("GetEnvironmentBuffer", kInvalidParameter));
  EXPECT_TRUE(tally.Saw("GetEnvironmentBuffer", kAccessDenied));
  EXPECT_TRUE(tally.Saw("GetCommandLineW", kAccessDenied));
  EXPECT_TRUE(tally.Saw("GetUserAndDomain", kAccessDenied));
  EXPECT_GT(figures.stringsRead, 0u);
}

}  // namespace
