// The process object and its snapshot, on the scripted system.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <system_error>

#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"
#include "platform/codes.h"
#include "support/protected_process.h"
#include "snapshot/records.h"
#include "support/alloc_fault.h"
#include "support/scripted_system.h"

namespace {

using zel::fake::ProcessModel;
using zel::test::MakeProcess;
using zel::test::MakeProcesses;

constexpr zel::fake::Status kNoMemory = 0xC0000017;

using SnapshotProbe = zel::test::ProtectedProcess;

class ProcessObjectTest : public ::testing::Test {
 protected:
  zel::fake::System system;
  zel::fake::ScopedSystem use{system};
};

TEST_F(ProcessObjectTest, OneRecordIsCountedAndFound) {
  system.processes = {MakeProcess(42, 0, u"only.exe")};
  SnapshotProbe p;
  EXPECT_EQ(p.GetProcessCount(), 1u);
  ASSERT_NE(p.GetProcess(42), nullptr);
  EXPECT_EQ(p.IdOf(p.GetProcess(42)), 42u);
  EXPECT_EQ(p.GetProcess(43), nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(p.Dump(), 0);
}

TEST_F(ProcessObjectTest, ManyRecordsAreCountedAndTheLastIsFound) {
  system.processes = MakeProcesses(50);
  SnapshotProbe p;
  EXPECT_EQ(p.GetProcessCount(), 50u);
  EXPECT_EQ(p.IdOf(p.GetProcess(200)), 200u);
  EXPECT_EQ(p.IdOf(p.GetProcess(4)), 4u);
}

TEST_F(ProcessObjectTest, RecordWithoutThreadsIsFollowedWhereItsDeltaSays) {
  system.processes = {MakeProcess(8, 0, u"a.exe", 0), MakeProcess(12, 8, u"bb.exe", 3),
                      MakeProcess(16, 8, u"", 0)};
  SnapshotProbe p;
  EXPECT_EQ(p.GetProcessCount(), 3u);
  EXPECT_EQ(p.IdOf(p.GetProcess(12)), 12u);
  EXPECT_EQ(p.IdOf(p.GetProcess(16)), 16u);
}

TEST_F(ProcessObjectTest, DuplicateIdsGiveTheFirstRecord) {
  system.processes = {MakeProcess(8, 0, u"a.exe"), MakeProcess(9, 0, u"b.exe"),
                      MakeProcess(9, 0, u"c.exe")};
  SnapshotProbe p;
  auto* first = p.GetProcess(9);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(reinterpret_cast<const std::byte*>(first),
            zel::records::Next(reinterpret_cast<std::byte*>(p.GetProcess(8))));
}

// However a refresh fails, it records why and changes nothing: the old
// snapshot stays, and so does every handle into it.
TEST_F(ProcessObjectTest, FailedRefreshRecordsWhyAndKeepsTheOldSnapshot) {
  const struct {
    const char* name;
    std::function<void(zel::fake::System&)> arm;
    ZelCode code;
  } failures[] = {
      {"probe fails", [](auto& s) { s.FailSnapshotQuery(kNoMemory); }, kNoMemory},
      // A probe that fits in one byte found no process: that is no success.
      {"probe finds nothing", [](auto& s) { s.FailSnapshotQuery(zel::code::kStatusSuccess); },
       zel::code::kNotFound},
      {"fill fails",
       [](auto& s) {
         s.PassSnapshotQuery();
         s.FailSnapshotQuery(0xC0000001);
       },
       0xC0000001},
      {"fill keeps racing",
       [](auto& s) {
         s.PassSnapshotQuery();
         const auto grow = std::make_shared<int>(5);
         for (int i = 0; i < 20; ++i)
           s.ScriptSnapshotQuery([&s, grow] {
             s.processes = MakeProcesses(*grow *= 4);
             return std::optional<zel::fake::Status>();
           });
       },
       zel::code::kNotFound},
      {"buffer cannot be had", [](auto&) { zel::test::FailAllocation(0); },
       zel::code::kOutOfMemory},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.name);
    zel::fake::System failing;
    const zel::fake::ScopedSystem use_failing(failing);
    failing.processes = MakeProcesses(3);
    SnapshotProbe p;
    auto* old_record = p.GetProcess(8);
    const zel::FindHandle h(p, p.CreateHandleFromPID(8));
    failing.processes = MakeProcesses(5);
    const int queries = failing.SnapshotQueryCount();
    failure.arm(failing);
    EXPECT_EQ(p.Refresh(), 0);
    zel::test::DisarmAllocationFailure();
    EXPECT_EQ(p.GetErrorCode(), failure.code);
    EXPECT_LT(failing.SnapshotQueryCount() - queries, 10);
    EXPECT_EQ(p.GetProcessCount(), 3u);
    EXPECT_EQ(p.GetProcess(8), old_record);
    EXPECT_EQ(p.GetProcessID(h.Get()), 8u);
    // The next refresh starts over.
    system.processes = MakeProcesses(5);
    const zel::fake::ScopedSystem use_passing(system);
    EXPECT_EQ(p.Refresh(), 1);
    EXPECT_EQ(p.GetProcessCount(), 5u);
  }
}

TEST_F(ProcessObjectTest, SuccessfulRefreshRecordsNothing) {
  system.processes = MakeProcesses(3);
  SnapshotProbe p;
  system.FailSnapshotQuery(kNoMemory);
  ASSERT_EQ(p.Refresh(), 0);
  system.processes = MakeProcesses(7);
  EXPECT_EQ(p.Refresh(), 1);
  EXPECT_EQ(p.GetErrorCode(), kNoMemory);
  EXPECT_EQ(p.GetProcessCount(), 7u);
}

TEST_F(ProcessObjectTest, FillThatRacesWithNewProcessesGrowsAndSucceeds) {
  system.processes = MakeProcesses(3);
  SnapshotProbe p;
  system.PassSnapshotQuery();
  system.ScriptSnapshotQuery([this] {
    system.processes = MakeProcesses(40);
    return std::optional<zel::fake::Status>();
  });
  const int before = system.SnapshotQueryCount();
  EXPECT_EQ(p.Refresh(), 1);
  EXPECT_EQ(system.SnapshotQueryCount() - before, 3);
  EXPECT_EQ(p.GetProcessCount(), 40u);
  EXPECT_EQ(p.IdOf(p.GetProcess(160)), 160u);
}

TEST_F(ProcessObjectTest, ConstructionFailsWithTheCodeOrStatus) {
  system.processes = MakeProcesses(3);
  auto code_of_construction = [] {
    try {
      CZelProcess p;
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code().category(), zel::error_category());
      return static_cast<std::uint32_t>(e.code().value());
    }
    return 0xFFFFFFFFu;
  };
  for (const char* name :
       {"NtQuerySystemInformation", "NtQueryInformationProcess", "NtQueryInformationThread"}) {
    system.missingEntryPoints = {name};
    EXPECT_EQ(code_of_construction(), zel::code::kProcNotFound) << name;
  }
  system.missingEntryPoints.clear();
  system.ntdllLoaded = false;
  EXPECT_EQ(code_of_construction(), zel::code::kModuleNotFound);
  system.ntdllLoaded = true;

  system.FailSnapshotQuery(kNoMemory);
  EXPECT_EQ(code_of_construction(), kNoMemory);
  system.PassSnapshotQuery();
  system.FailSnapshotQuery(0xC0000001);
  EXPECT_EQ(code_of_construction(), 0xC0000001u);
  EXPECT_EQ(code_of_construction(), 0xFFFFFFFFu);

  // A system that answers no process at all: a failure, and one that says so.
  system.processes.clear();
  EXPECT_EQ(code_of_construction(), zel::code::kNotFound);
}

TEST_F(ProcessObjectTest, QueryRefusesBuffersOffTheAlignmentOfItsCounts) {
  // As the kernel does: the object's own probe passes an aligned byte.
  system.processes = MakeProcesses(2);
  SnapshotProbe p;
  alignas(8) std::byte scratch[8];
  ZelUlong needed = 0;
  EXPECT_EQ(static_cast<ZelCode>(p.QuerySystem()(5, scratch + 1, 1, &needed)),
            zel::code::kStatusDatatypeMisalignment);
  EXPECT_EQ(static_cast<ZelCode>(p.QuerySystem()(5, scratch, 1, &needed)),
            zel::code::kStatusInfoLengthMismatch);
}

TEST_F(ProcessObjectTest, CopySharesTheSnapshotWithoutCallingThePlatform) {
  system.processes = MakeProcesses(6);
  auto source = std::make_unique<SnapshotProbe>();
  const int queries = system.SnapshotQueryCount();
  SnapshotProbe copy(*source);
  EXPECT_EQ(system.SnapshotQueryCount(), queries);
  EXPECT_EQ(copy.GetProcessCount(), 6u);
  EXPECT_EQ(copy.GetProcess(24), source->GetProcess(24));

  system.processes = MakeProcesses(2);
  ASSERT_EQ(source->Refresh(), 1);
  EXPECT_EQ(source->GetProcessCount(), 2u);
  source.reset();
  EXPECT_EQ(copy.GetProcessCount(), 6u);
  EXPECT_EQ(copy.IdOf(copy.GetProcess(24)), 24u);
}

TEST_F(ProcessObjectTest, AssignmentSharesAndReleasesTheOldSnapshot) {
  system.processes = MakeProcesses(4);
  SnapshotProbe a;
  system.processes = MakeProcesses(9);
  SnapshotProbe b;
  system.FailSnapshotQuery(kNoMemory);
  ASSERT_EQ(b.Refresh(), 0);

  a = b;
  EXPECT_EQ(a.GetProcessCount(), 9u);
  EXPECT_EQ(a.GetErrorCode(), kNoMemory);
  a = a;
  EXPECT_EQ(a.GetProcessCount(), 9u);
  EXPECT_EQ(a.GetProcess(36), b.GetProcess(36));

  system.processes = MakeProcesses(1);
  ASSERT_EQ(b.Refresh(), 1);
  EXPECT_EQ(a.GetProcessCount(), 9u);
  EXPECT_EQ(b.GetProcessCount(), 1u);
}

TEST_F(ProcessObjectTest, DeletingThroughTheBaseRunsTheDestructor) {
  system.processes = MakeProcesses(2);
  std::unique_ptr<CZelObject> object = std::make_unique<CZelProcess>();
  EXPECT_EQ(object->Dump(), 0);
  object.reset();
  SUCCEED();
}

}  // namespace
