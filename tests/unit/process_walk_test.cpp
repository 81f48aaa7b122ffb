// Walking the snapshot's processes, and the operations every handle serves.
#include <functional>
#include <utility>
#include <vector>

#include "support/alloc_fault.h"
#include "support/full_record_pool.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::MakeProcess;
using zel::test::MakeProcesses;
using zel::test::RecordOf;
using zel::test::Utf8;
namespace code = zel::code;

class ProcessWalkTest : public zel::test::SystemTest {
 protected:
  void UseNames(std::initializer_list<const char16_t*> names) {
    std::uint32_t id = 4;
    for (const char16_t* name : names) system.processes.push_back(MakeProcess(id += 4, 4, name));
  }
  // The IDs that a walk with this pattern visits, in order.
  std::vector<unsigned> Walk(CZelProcess& p, const char* pattern) {
    std::vector<unsigned> ids;
    void* h = p.FindFirstProcess(CZelString::FromUtf8(pattern));
    if (!h) return ids;
    do ids.push_back(p.GetProcessID(h));
    while (p.FindNextProcess(h));
    EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
    EXPECT_EQ(p.CloseHandle(h), 1);
    return ids;
  }
};

TEST_F(ProcessWalkTest, EmptyPatternVisitsEveryRecordInChainOrder) {
  UseNames({u"", u"b.exe", u"c.exe"});
  CZelProcess p;
  void* h = p.FindFirstProcess(CZelString());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(RecordOf(h).pFilter, nullptr);
  EXPECT_EQ(p.GetProcessID(h), 8u);
  EXPECT_EQ(p.FindNextProcess(h), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(p.FindNextProcess(h), 1);
  EXPECT_EQ(p.GetProcessID(h), 16u);
  // At the end the handle stays on the last record, however often it is asked.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(p.FindNextProcess(h), 0);
    EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
    EXPECT_EQ(p.GetProcessID(h), 16u);
  }
  EXPECT_EQ(p.CloseHandle(h), 1);
}

TEST_F(ProcessWalkTest, FilteredWalksVisitExactlyTheMatches) {
  UseNames({u"svchost.exe", u"explorer.exe", u"SMSS.EXE", u"wininit.exe", u"Über.exe", u"svc"});
  CZelProcess p;
  EXPECT_EQ(Walk(p, "s*;w*"), (std::vector<unsigned>{8, 16, 20, 28}));
  EXPECT_EQ(Walk(p, "*.EXE"), (std::vector<unsigned>{8, 12, 16, 20, 24}));
  EXPECT_EQ(Walk(p, "?x*"), (std::vector<unsigned>{12}));
  EXPECT_EQ(Walk(p, "über.*"), (std::vector<unsigned>{24}));
  EXPECT_EQ(Walk(p, "svc"), (std::vector<unsigned>{28}));
}

TEST_F(ProcessWalkTest, MatchOnlyOnTheFirstRecordEndsOnTheLast) {
  UseNames({u"first.exe", u"a.exe", u"b.exe"});
  CZelProcess p;
  void* h = p.FindFirstProcess(CZelString::FromUtf8("first*"));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(p.GetProcessID(h), 8u);
  EXPECT_EQ(p.FindNextProcess(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.GetProcessID(h), 16u);  // on the last record, which does not match
  EXPECT_EQ(p.FindNextProcess(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.CloseHandle(h), 1);
}

TEST_F(ProcessWalkTest, MissingMatchLeavesNothingAllocated) {
  UseNames({u"a.exe", u"b.exe", u"c.exe"});
  CZelProcess p;
  CZelString pattern = CZelString::FromUtf8("zzz*");
  const long before = zel::test::LiveAllocations();
  EXPECT_EQ(p.FindFirstProcess(pattern), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kNotFound);
  EXPECT_EQ(zel::test::LiveAllocations(), before);
  EXPECT_EQ(Utf8(pattern), "zzz*");
}

TEST_F(ProcessWalkTest, LongRunOfMissesDoesNotDeepenTheStack) {
  system.processes = MakeProcesses(60000);
  system.processes.back().name = u"needle.exe";
  CZelProcess p;
  EXPECT_EQ(Walk(p, "needle.exe"), (std::vector<unsigned>{240000}));
}

TEST_F(ProcessWalkTest, SingleRecordIsAProcessToFind) {
  system.processes = {MakeProcess(77, 0, u"alone.exe")};
  CZelProcess p;
  EXPECT_EQ(Walk(p, ""), (std::vector<unsigned>{77}));
  EXPECT_EQ(Walk(p, "alone*"), (std::vector<unsigned>{77}));
  void* h = p.CreateHandleFromPID(77);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(p.CloseHandle(h), 1);
}

TEST_F(ProcessWalkTest, CreateHandleFromPidFindsFirstLastAndNothing) {
  system.processes = MakeProcesses(20);
  CZelProcess p;
  for (unsigned id : {4u, 80u}) {
    void* h = p.CreateHandleFromPID(id);
    ASSERT_NE(h, nullptr) << id;
    EXPECT_EQ(p.GetErrorCode(), 0u);
    EXPECT_EQ(p.GetProcessID(h), id);
    EXPECT_EQ(RecordOf(h).pFilter, nullptr);
    EXPECT_EQ(p.CloseHandle(h), 1);
  }
  const long before = zel::test::LiveAllocations();
  EXPECT_EQ(p.CreateHandleFromPID(81), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kNotFound);
  EXPECT_EQ(zel::test::LiveAllocations(), before);
}

TEST_F(ProcessWalkTest, FailedAllocationsRecordOutOfMemoryAndLeaveNothing) {
  UseNames({u"a.exe", u"b.exe"});
  CZelProcess p;
  const long before = zel::test::LiveAllocations();
  // The pattern's own copy and its text, the name tested.
  for (int n : {0, 1, 2}) {
    CZelString pattern = CZelString::FromUtf8("b*");
    zel::test::ScopedAllocationFailure fail(n);
    EXPECT_EQ(p.FindFirstProcess(std::move(pattern)), nullptr) << n;
    EXPECT_TRUE(zel::test::AllocationFailed()) << n;
    EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory) << n;
  }
  EXPECT_EQ(zel::test::LiveAllocations(), before);

  void* source = p.FindFirstProcess(CZelString::FromUtf8("*.exe"));
  ASSERT_NE(source, nullptr);
  const long with_source = zel::test::LiveAllocations();
  for (int n : {0, 1}) {
    zel::test::ScopedAllocationFailure fail(n);
    EXPECT_EQ(p.DuplicateHandle(source), nullptr) << n;
    EXPECT_TRUE(zel::test::AllocationFailed()) << n;
    EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory) << n;
  }
  EXPECT_EQ(zel::test::LiveAllocations(), with_source);

  // The handle record itself, when the pool of records must grow.
  void* plain = p.FindFirstProcess(CZelString());
  ASSERT_NE(plain, nullptr);
  {
    zel::test::FullRecordPool full(p, plain);
    const long full_pool = zel::test::LiveAllocations();
    const unsigned id = p.GetProcessID(plain);
    for (const auto& [name, make] : std::vector<std::pair<const char*, std::function<void*()>>>{
             {"FindFirstProcess", [&] { return p.FindFirstProcess(CZelString()); }},
             {"CreateHandleFromPID", [&] { return p.CreateHandleFromPID(id); }}}) {
      zel::test::ScopedAllocationFailure fail(0);
      EXPECT_EQ(make(), nullptr) << name;
      EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory) << name;
    }
    EXPECT_EQ(zel::test::LiveAllocations(), full_pool);
  }
  EXPECT_EQ(p.CloseHandle(plain), 1);
  EXPECT_EQ(p.CloseHandle(source), 1);
}

TEST_F(ProcessWalkTest, FailedNameTestLeavesTheHandleWhereItWas) {
  UseNames({u"a.exe", u"b.exe", u"c.exe"});
  CZelProcess p;
  void* h = p.FindFirstProcess(CZelString::FromUtf8("*.exe"));
  ASSERT_NE(h, nullptr);
  {
    zel::test::ScopedAllocationFailure fail(0);  // the name of b.exe
    EXPECT_EQ(p.FindNextProcess(h), 0);
    EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory);
  }
  EXPECT_EQ(p.GetName(h).ToUtf8(), "a.exe");
  EXPECT_EQ(p.FindNextProcess(h), 1);
  EXPECT_EQ(p.GetName(h).ToUtf8(), "b.exe");
  p.CloseHandle(h);
}

TEST_F(ProcessWalkTest, DuplicateOfAFilteredHandleOutlivesItsSource) {
  UseNames({u"s1.exe", u"x.exe", u"s2.exe", u"y.exe", u"s3.exe"});
  CZelProcess p;
  void* source = p.FindFirstProcess(CZelString::FromUtf8("s*"));
  ASSERT_NE(source, nullptr);
  void* copy = p.DuplicateHandle(source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_NE(RecordOf(copy).pFilter, RecordOf(source).pFilter);
  EXPECT_EQ(p.CloseHandle(source), 1);

  EXPECT_EQ(p.GetProcessID(copy), 8u);
  EXPECT_EQ(p.FindNextProcess(copy), 1);
  EXPECT_EQ(p.GetProcessID(copy), 16u);
  EXPECT_EQ(p.FindNextProcess(copy), 1);
  EXPECT_EQ(p.GetProcessID(copy), 24u);
  EXPECT_EQ(p.FindNextProcess(copy), 0);
  EXPECT_EQ(p.CloseHandle(copy), 1);
}

TEST_F(ProcessWalkTest, DuplicatesMoveIndependently) {
  system.processes = {MakeProcess(8, 0, u"a.exe", 3), MakeProcess(12, 0, u"b.exe")};
  CZelProcess p;
  void* process = p.FindFirstProcess(CZelString());
  void* thread = p.FindFirstThread(process);
  ASSERT_EQ(p.FindNextThread(thread), 1);
  void* process_copy = p.DuplicateHandle(process);
  void* thread_copy = p.DuplicateHandle(thread);
  ASSERT_NE(thread_copy, nullptr);
  EXPECT_EQ(p.GetThreadID(thread_copy), 802u);
  EXPECT_EQ(p.FindNextThread(thread_copy), 1);
  EXPECT_EQ(p.GetThreadID(thread), 802u);
  EXPECT_EQ(p.FindNextProcess(process_copy), 1);
  EXPECT_EQ(p.GetProcessID(process), 8u);
  for (void* h : {process, thread, process_copy, thread_copy}) EXPECT_EQ(p.CloseHandle(h), 1);
}

TEST_F(ProcessWalkTest, StaleHandlesAreRefusedButCanStillBeClosedDuplicatedAndTested) {
  system.processes = MakeProcesses(3);
  CZelProcess p;
  void* h = p.FindFirstProcess(CZelString::FromUtf8("p*"));
  void* t = p.FindFirstThread(h);
  system.processes = MakeProcesses(1);
  ASSERT_EQ(p.Refresh(), 1);
  EXPECT_EQ(p.GetProcessID(h), 0xFFFFFFFFu);
  EXPECT_EQ(p.IsProcessHandle(h), 1);
  void* copy = p.DuplicateHandle(h);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(p.IsProcessHandle(copy), 1);
  EXPECT_EQ(p.GetProcessID(copy), 0xFFFFFFFFu);
  EXPECT_EQ(p.CloseHandle(h), 1);
  EXPECT_EQ(p.CloseHandle(copy), 1);
  EXPECT_EQ(p.CloseHandle(t), 1);
}

TEST_F(ProcessWalkTest, HandlesServeTheObjectsThatShareTheirSnapshotOnly) {
  system.processes = MakeProcesses(4);
  CZelProcess maker;
  CZelProcess copy(maker);
  CZelProcess assigned;
  assigned = maker;
  void* h = maker.FindFirstProcess(CZelString());
  void* t = maker.FindFirstThread(h);
  EXPECT_EQ(copy.FindNextProcess(h), 1);
  EXPECT_EQ(assigned.GetProcessID(h), 8u);
  EXPECT_EQ(copy.GetThreadID(t), 401u);

  CZelProcess other;  // a snapshot of its own of the same processes
  EXPECT_EQ(other.GetThreadID(t), 0xFFFFFFFFu);
  EXPECT_EQ(other.CloseHandle(t), 1);
  EXPECT_EQ(copy.CloseHandle(h), 1);
}

}  // namespace
