// Every operation, run once to learn the fallible platform calls and the
// allocations it makes, then once more for each of them failing in turn, in
// each way the platform can fail it. Each faulty run must end with the
// operation's result and code for that failure, no platform handle open, as
// many allocations live as before, and the caller's outputs as promised.
// The calls come from the recording, so a new platform call in an operation
// is swept without a change here.
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "fault_sweep_operations.h"
#include "support/alloc_fault.h"

namespace {

using zel::fake::CallFault;
using zel::fake::RecordedCall;
using namespace zel::sweep;  // the operations, their stage and expectations

// One run of an operation on a fresh system, with at most one fault armed by
// `arm`.
struct Outcome {
  bool reported_failure = false;
  ZelCode code = 0;
  bool outputs_as_promised = true;
  bool handles_closed = true;
  bool allocations_balanced = true;
  bool fault_hit = false;
};

// What `hit` keeps is the sweep's own record of the run, not the operation's.
Outcome RunOnce(const Operation& op, const std::function<void(zel::fake::System&)>& arm,
                const std::function<bool(zel::fake::System&)>& hit) {
  Outcome run;
  const long live_before = zel::test::LiveAllocations();
  long kept = 0;
  {
    Stage stage;
    stage.p().Mark(zel::sweep::kNothingRecorded);
    arm(stage.system);
    try {
      op.run(stage);
    } catch (const std::exception& e) {
      ADD_FAILURE() << op.name << " threw " << e.what();
    }
    const long live_before_hit = zel::test::LiveAllocations();
    run.fault_hit = hit(stage.system);
    kept = zel::test::LiveAllocations() - live_before_hit;
    zel::test::DisarmAllocationFailure();
    run.reported_failure = stage.failed;
    run.code = stage.thrown.value_or(stage.p().GetErrorCode());
    run.outputs_as_promised = !op.settle || op.settle(stage);
  }
  run.handles_closed = zel::fake::OpenHandleCount() == 0;
  run.allocations_balanced = zel::test::LiveAllocations() - kept == live_before;
  return run;
}

void Check(const Operation& op, const std::string& fault, const Outcome& run,
           const Expectation& want) {
  std::string wrong;
  if (!run.fault_hit) wrong += " the fault was never reached;";
  if (run.reported_failure != want.fails)
    wrong += want.fails ? " reported success;" : " reported failure;";
  if (run.code != want.code)
    wrong += " code " + std::to_string(run.code) + " instead of " + std::to_string(want.code) + ";";
  if (!run.outputs_as_promised) wrong += " the caller's outputs are not as promised;";
  if (!run.handles_closed) wrong += " platform handles left open;";
  if (!run.allocations_balanced) wrong += " allocations left live;";
  if (!wrong.empty()) ADD_FAILURE() << op.name << " with " << fault << ":" << wrong;
}

bool ChecksCreationTime(std::string_view call) {
  return call == "GetProcessTimes" || call == "GetThreadTimes";
}

// A recorded call as the rules know it: its name and what it does (see
// Rule). The look at the creation time that follows each open, which tells
// the snapshot's process from a later one, fails as the open does, and is
// known as the open.
struct KnownCall {
  std::string call;
  std::string does;
};

KnownCall AsRulesKnowIt(const std::vector<RecordedCall>& calls, std::size_t i) {
  const RecordedCall& call = calls[i];
  if (ChecksCreationTime(call.name) && call.handleFrom >= 0)
    return AsRulesKnowIt(calls, static_cast<std::size_t>(call.handleFrom));
  for (std::size_t j = i + 1; j < calls.size(); ++j) {
    const RecordedCall& use = calls[j];
    if (use.handleFrom != static_cast<int>(i) || ChecksCreationTime(use.name)) continue;
    return {std::string(call.name),
            "for " + std::string(use.name) + (use.about.empty() ? "" : " (" + use.about + ")")};
  }
  return {std::string(call.name), call.about};
}

std::string KindName(CallFault::Kind kind) {
  switch (kind) {
    case CallFault::Kind::Error: return "an error";
    case CallFault::Kind::Status: return "a status";
    case CallFault::Kind::ShortRead: return "a short read";
  }
  return "?";
}

TEST(FaultSweep, EveryPlatformCallAndAllocationFailingInTurn) {
  long calls_failed = 0;
  long allocations_failed = 0;
  for (const Operation& op : zel::sweep::Operations()) {
    // The successful run, recorded.
    std::vector<RecordedCall> calls;
    long allocations = 0;
    {
      long made_before = 0;
      const Outcome clean = RunOnce(
          op,
          [&](zel::fake::System& system) {
            system.RecordCalls();
            made_before = zel::test::AllocationsMade();
          },
          [&](zel::fake::System& system) {
            allocations = zel::test::AllocationsMade() - made_before;
            calls = system.RecordedCalls();
            return true;
          });
      Check(op, "no fault", clean, op.success);
    }

    for (std::size_t i = 0; i < calls.size(); ++i) {
      const KnownCall known = AsRulesKnowIt(calls, i);
      for (const CallFault& fault : zel::fake::WaysToFail(calls[i].name)) {
        const Outcome run = RunOnce(
            op, [&](zel::fake::System& system) { system.FailCall(static_cast<int>(i), fault); },
            [](zel::fake::System& system) { return system.CallFailed(); });
        const std::string known_as = known.call + (known.does.empty() ? "" : " " + known.does);
        const std::string call(calls[i].name);
        Check(op,
              (call == known.call ? known_as : call + " after " + known_as) + " failing with " +
                  KindName(fault.kind),
              run, op.Expect(known.call, known.does, fault));
        ++calls_failed;
      }
    }
    for (long n = 0; n < allocations; ++n) {
      const Outcome run = RunOnce(
          op, [&](zel::fake::System&) { zel::test::FailAllocation(static_cast<int>(n)); },
          [](zel::fake::System&) { return zel::test::AllocationFailed(); });
      Check(op, "allocation #" + std::to_string(n + 1) + " failing", run, op.ExpectAllocation());
      ++allocations_failed;
    }
  }
  // Guards the sweep itself: a recording that lost its calls would pass
  // vacuously.
  EXPECT_GT(calls_failed, 100);
  EXPECT_GT(allocations_failed, 20);
  RecordProperty("platform_call_faults", std::to_string(calls_failed));
  RecordProperty("allocation_faults", std::to_string(allocations_failed));
  std::printf("fault sweep: %zu operations, %ld platform call faults, %ld allocation faults\n",
              zel::sweep::Operations().size(), calls_failed, allocations_failed);
}

}  // namespace
