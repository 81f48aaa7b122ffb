// The Linux port over /proc while children keep starting and exiting:
// snapshots taken one after another stay whole, and a lister that reads
// everything of every process, while processes exit in the middle of its
// walk, gets only the codes that a process which went away can give.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ZelProcess.h"
#include "support/linux/children.h"
#include "support/churn/allowed_codes.h"
#include "support/churn/code_tally.h"
#include "support/churn/lister.h"
#include "support/churn/refreshes.h"

namespace {

using zel::churn::ChurnPool;
using zel::churn::CodeTally;
using zel::churn::ExpectOnlyAllowed;
using zel::churn::kAccessDenied;
using zel::churn::kInvalidParameter;
using zel::churn::kPartialCopy;
using zel::churn::Lister;
using zel::churn::RefreshFigures;
using zel::churn::RunRefreshes;
using zel::churn::WaitingChild;

constexpr std::size_t kPoolSlots = 50;
constexpr int kRefreshes = 1000;

TEST(ChurnOnLinux, EveryRefreshSucceedsWithAWholeSnapshot) {
  const auto host = static_cast<unsigned>(getpid());
  CodeTally tally;
  CZelProcess refresher;
  CZelProcess walker(refresher);
  Lister lister(walker, tally);
  ChurnPool pool(kPoolSlots);
  const RefreshFigures run = RunRefreshes(refresher, walker, lister, tally, host, kRefreshes);
  const std::size_t started = pool.Started();

  const auto& figures = lister.Figures();
  std::printf(
      "churn refresh (linux): refreshes=%d children_started=%zu children_seen=%zu "
      "child_exits_seen=%zu processes_per_snapshot=%zu..%zu processes_walked=%zu "
      "threads_walked=%zu facts_read=%zu\n",
      kRefreshes, started, run.childrenSeen, run.exitsSeen, run.fewest, run.most, figures.processes,
      figures.threads, figures.factCalls);
  tally.Print("churn refresh (linux)");

  ExpectOnlyAllowed(tally);
  EXPECT_EQ(pool.StartFailures(), 0u);
  // The churn was real: the pool restarted its slots while the snapshots were
  // taken, and the snapshots saw children come and go.
  EXPECT_GT(started, kPoolSlots);
  EXPECT_GT(run.childrenSeen, 0u);
  EXPECT_GT(run.exitsSeen, 0u);
}

// How a child is made to go while the lister reads it.
enum class Ending {
  kZombie,      // killed at its step, left unreaped: opens, but has no memory
  kGone,        // killed and reaped at its step: its ID names no process
  kGoneBefore,  // killed and reaped once the snapshot is taken, before the walk
};

struct PlannedEnding {
  Ending how;
  int step;
  WaitingChild* child;
  bool done = false;
};

TEST(ChurnOnLinux, ListerGetsOnlyTheCodesOfProcessesThatWentAway) {
  constexpr int kRounds = 10;
  constexpr int kVictimsPerRound = 21;
  CodeTally tally;
  CZelProcess processes;
  Lister lister(processes, tally);
  std::size_t planned = 0, ended = 0;
  int turns[3] = {};

  ChurnPool pool(kPoolSlots);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<WaitingChild>> victims;
    std::map<unsigned, PlannedEnding> plan;
    for (int i = 0; i < kVictimsPerRound; ++i) {
      victims.push_back(std::make_unique<WaitingChild>());
      const auto how = static_cast<Ending>(i % 3);
      // Each way of ending takes the steps in turn, the second from half-way,
      // so that over the rounds a death comes before every step.
      const int turn = ++turns[static_cast<int>(how)];
      const int step = (turn + static_cast<int>(how) * Lister::kStepCount / 2) % Lister::kStepCount;
      plan.emplace(static_cast<unsigned>(victims.back()->Id()),
                   PlannedEnding{how, step, victims.back().get()});
    }
    ASSERT_EQ(processes.Refresh(), 1);
    for (auto& [id, ending] : plan) {
      void* found = processes.CreateHandleFromPID(id);
      EXPECT_NE(found, nullptr) << "the snapshot misses the waiting child " << id;
      processes.CloseHandle(found);
      if (ending.how != Ending::kGoneBefore) continue;
      ending.child->Reap();
      ending.done = true;
      ++ended;
    }
    planned += plan.size();
    lister.Walk(true, [&](unsigned id, int step) {
      const auto found = plan.find(id);
      if (found == plan.end() || found->second.done || found->second.step != step) return;
      PlannedEnding& ending = found->second;
      if (ending.how == Ending::kZombie)
        ending.child->Kill();
      else
        ending.child->Reap();
      ending.done = true;
      ++ended;
    });
  }
  const std::size_t started = pool.Started();

  const auto& figures = lister.Figures();
  std::printf(
      "churn lister (linux): snapshots=%zu processes_walked=%zu threads_walked=%zu "
      "facts_read=%zu live_calls=%zu strings_read=%zu environment_copies=%zu owners_read=%zu "
      "children_started=%zu children_ended_mid_walk=%zu\n",
      figures.snapshots, figures.processes, figures.threads, figures.factCalls, figures.liveCalls,
      figures.stringsRead, figures.environmentCopies, figures.ownersRead, started + planned, ended);
  tally.Print("churn lister (linux)");

  ExpectOnlyAllowed(tally);
  EXPECT_EQ(pool.StartFailures(), 0u);
  EXPECT_EQ(ended, planned) << "the walk did not reach every child it was to end";
  // The deliberate endings reached the library: a gone process's open, and a
  // zombie's missing memory.
  EXPECT_TRUE(tally.Saw("GetEnvironmentBuffer", kInvalidParameter));
  EXPECT_TRUE(tally.Saw("GetEnvironmentBuffer", kAccessDenied));
  EXPECT_TRUE(tally.Saw("GetCommandLineW", kAccessDenied));
  EXPECT_TRUE(tally.Saw("GetUserAndDomain", kAccessDenied));
  EXPECT_GT(figures.stringsRead, 0u);
}

}  // namespace
