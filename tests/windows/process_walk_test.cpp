// The process walk on the real platform, checked against what Toolhelp32,
// GetProcessTimes, GetProcessMemoryInfo and GetProcessIoCounters report.
#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/comparable.h"
#include "support/windows/host_handles.h"
#include "snapshot/handle_record.h"
#include "support/handle_members.h"
#include "support/reference_wildcards.h"

namespace {

using namespace zel::test;

// Enough tries for the system to hold still between two platform snapshots;
// Wine's service processes start and end worker threads now and then.
constexpr int kAttempts = 10;

struct ProcessRow {
  DWORD pid = 0;
  DWORD parent = 0;
  std::wstring name;
  DWORD threads = 0;
  LONG basePriority = 0;
  auto operator<=>(const ProcessRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ProcessRow& row) {
  return out << "{pid " << row.pid << ", parent " << row.parent << ", "
             << CZelString(row.name.c_str()).ToUtf8() << ", " << row.threads
             << " threads, priority " << row.basePriority << "}";
}

struct Census {
  std::vector<ProcessRow> processes;  // sorted
  std::map<DWORD, std::set<DWORD>> threads;
  bool operator==(const Census&) const = default;
};

Census Toolhelp() {
  Census census;
  const OwnedHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0));
  EXPECT_NE(snap.Get(), INVALID_HANDLE_VALUE);
  if (snap.Get() == INVALID_HANDLE_VALUE) return census;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL ok = Process32FirstW(snap.Get(), &process); ok;
       ok = Process32NextW(snap.Get(), &process)) {
    census.processes.push_back({process.th32ProcessID, process.th32ParentProcessID,
                                process.szExeFile, process.cntThreads, process.pcPriClassBase});
    census.threads[process.th32ProcessID];
  }
  THREADENTRY32 thread{};
  thread.dwSize = sizeof thread;
  for (BOOL ok = Thread32First(snap.Get(), &thread); ok; ok = Thread32Next(snap.Get(), &thread))
    census.threads[thread.th32OwnerProcessID].insert(thread.th32ThreadID);
  std::sort(census.processes.begin(), census.processes.end());
  return census;
}

std::vector<DWORD> WalkThreads(CZelProcess& processes, void* process, unsigned threadCount) {
  std::vector<DWORD> ids;
  ZelHandle thread(processes, processes.FindFirstThread(process));
  if (threadCount == 0) {
    // Nothing to walk, whatever FindFirstThread made of it.
    if (thread) {
      EXPECT_EQ(thread.Close(), 1);
    }
    return ids;
  }
  EXPECT_TRUE(thread) << "code " << processes.GetErrorCode();
  if (!thread) return ids;
  for (;;) {
    ids.push_back(processes.GetThreadID(thread.Get()));
    if (processes.FindNextThread(thread.Get()) != 1) break;
  }
  EXPECT_EQ(processes.GetErrorCode(), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(thread.Close(), 1);
  return ids;
}

// Everything one walk with `pattern` yields. A walk that finds nothing leaves
// the census empty and FindFirstProcess's code in `firstFailure`.
struct Walk {
  Census census;
  ZelCode firstFailure = ERROR_SUCCESS;
};

Walk WalkProcesses(CZelProcess& processes, const CZelString& pattern) {
  Walk walk;
  ZelHandle find(processes, processes.FindFirstProcess(pattern));
  if (!find) {
    walk.firstFailure = processes.GetErrorCode();
    return walk;
  }
  for (;;) {
    ProcessRow row{processes.GetProcessID(find.Get()), processes.GetParentProcess(find.Get()),
                   processes.GetName(find.Get()).c_wstr(), processes.GetThreadCount(find.Get()),
                   processes.GetBasePriority(find.Get())};
    const std::vector<DWORD> threads = WalkThreads(processes, find.Get(), row.threads);
    // Both counts come out of the same snapshot, so they agree exactly.
    EXPECT_EQ(threads.size(), row.threads) << row;
    auto& ids = walk.census.threads[row.pid];
    ids.insert(threads.begin(), threads.end());
    EXPECT_EQ(ids.size(), threads.size()) << "a thread walked twice in " << row;
    walk.census.processes.push_back(std::move(row));

    if (processes.FindNextProcess(find.Get()) != 1) break;
    EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  }
  EXPECT_EQ(processes.GetErrorCode(), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(find.Close(), 1);
  std::sort(walk.census.processes.begin(), walk.census.processes.end());
  return walk;
}

// A walk bracketed by two Toolhelp32 snapshots that agree with each other, so
// that the walk saw the same system they did.
struct QuietWalk {
  bool quiet = false;
  Walk ours;
  Census theirs;
};

QuietWalk WalkAtAQuietMoment(const CZelString& pattern) {
  QuietWalk result;
  for (int attempt = 0; attempt < kAttempts && !result.quiet; ++attempt) {
    const Census before = Toolhelp();
    CZelProcess processes;
    result.ours = WalkProcesses(processes, pattern);
    result.theirs = Toolhelp();
    result.quiet = before == result.theirs;
  }
  return result;
}

// The reference matcher that the wildcard fuzzer holds MatchSpec to.
bool MatchList(std::wstring_view list, std::wstring_view name) {
  return ReferenceMatchesList(Units(name.begin(), name.end()), Units(list.begin(), list.end()));
}

TEST(ProcessWalkOnWindows, FullWalkMatchesToolhelp) {
  const QuietWalk walk = WalkAtAQuietMoment(L"");
  ASSERT_TRUE(walk.quiet) << "the process set never held still between two Toolhelp32 snapshots";
  EXPECT_EQ(walk.ours.firstFailure, static_cast<ZelCode>(ERROR_SUCCESS));
  EXPECT_EQ(walk.ours.census.processes, walk.theirs.processes);
  EXPECT_EQ(walk.ours.census.threads, walk.theirs.threads);
  // Not a degenerate system: the host and Wine's own services are there.
  EXPECT_GT(walk.ours.census.processes.size(), 1u);
  EXPECT_TRUE(walk.ours.census.threads.contains(GetCurrentProcessId()));
}

TEST(ProcessWalkOnWindows, FilteredWalksSelectWhatTheReferenceSelects) {
  const std::wstring patterns[] = {L"*.exe", L"EXPLORER.EXE",      L"s*;w*",
                                   L"?x*",   L"WINDOWS_TESTS.EXE", L"no-such-image-?*.none"};
  std::size_t patternsSelectingSome = 0;
  std::size_t patternsSelectingNone = 0;
  for (const std::wstring& pattern : patterns) {
    const std::string shown = CZelString(pattern.c_str()).ToUtf8();
    const QuietWalk walk = WalkAtAQuietMoment(pattern.c_str());
    ASSERT_TRUE(walk.quiet) << shown;

    std::vector<ProcessRow> expected;
    std::ranges::copy_if(walk.theirs.processes, std::back_inserter(expected),
                         [&](const ProcessRow& row) { return MatchList(pattern, row.name); });
    EXPECT_EQ(walk.ours.census.processes, expected) << shown;
    if (expected.empty()) {
      ++patternsSelectingNone;
      EXPECT_EQ(walk.ours.firstFailure, static_cast<ZelCode>(ERROR_NOT_FOUND)) << shown;
    } else {
      ++patternsSelectingSome;
      EXPECT_EQ(walk.ours.firstFailure, static_cast<ZelCode>(ERROR_SUCCESS)) << shown;
    }
  }
  // Otherwise a filter that passes everything or nothing would go unnoticed.
  EXPECT_GE(patternsSelectingSome, 2u);
  EXPECT_GE(patternsSelectingNone, 1u);
}

TEST(ProcessWalkOnWindows, HostTimesAgreeWithGetProcessTimes) {
  FILETIME create{}, exit{}, kernelBefore{}, userBefore{};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &create, &exit, &kernelBefore, &userBefore));
  CZelProcess processes;
  ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
  ASSERT_TRUE(self);
  EXPECT_EQ(processes.GetProcessID(self.Get()), GetCurrentProcessId());
  EXPECT_EQ(processes.GetName(self.Get()), CZelString(L"windows_tests.exe"));

  FILETIME ourCreate{}, ourUser{}, ourKernel{};
  EXPECT_NE(processes.GetCreateTime(self.Get(), ourCreate), 0);
  EXPECT_NE(processes.GetUserTime(self.Get(), ourUser), 0);
  EXPECT_NE(processes.GetKernelTime(self.Get(), ourKernel), 0);

  FILETIME kernelAfter{}, userAfter{};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &create, &exit, &kernelAfter, &userAfter));
  EXPECT_EQ(Ticks(ourCreate), Ticks(create));
  // CPU times only grow, and the snapshot was taken between the two readings.
  EXPECT_LE(Ticks(userBefore), Ticks(ourUser));
  EXPECT_LE(Ticks(ourUser), Ticks(userAfter));
  EXPECT_LE(Ticks(kernelBefore), Ticks(ourKernel));
  EXPECT_LE(Ticks(ourKernel), Ticks(kernelAfter));
  EXPECT_EQ(self.Close(), 1);
}

TEST(ProcessWalkOnWindows, HostMemoryCountersAgreeWithGetProcessMemoryInfo) {
  // The record is copied whole; bytes past it must stay as they were.
  struct Guarded {
    VM_COUNTERS vm;
    std::array<unsigned char, 32> guard;
  };
  constexpr unsigned char kFill = 0xA5;

  using Fields = std::array<std::uint64_t, 8>;
  auto fieldsOf = [](const auto& c) {
    return Fields{c.PageFaultCount,          c.PeakWorkingSetSize,  c.WorkingSetSize,
                  c.QuotaPeakPagedPoolUsage, c.QuotaPagedPoolUsage, c.QuotaPeakNonPagedPoolUsage,
                  c.QuotaNonPagedPoolUsage,  c.PagefileUsage};
  };
  static constexpr const char* kNames[] = {"PageFaultCount",         "PeakWorkingSetSize",
                                           "WorkingSetSize",         "QuotaPeakPagedPoolUsage",
                                           "QuotaPagedPoolUsage",    "QuotaPeakNonPagedPoolUsage",
                                           "QuotaNonPagedPoolUsage", "PagefileUsage"};

  // The host's memory moves while the test runs (the snapshot itself is
  // allocated), so each field is read before and after the snapshot and the
  // library's value must lie between the two readings. Peak values and the
  // fault count only grow, so for them that is before <= ours <= after; the
  // current sizes may also shrink, and an attempt where a current size swung
  // out and back between the readings is repeated.
  Guarded ours{};
  Fields before{}, after{};
  std::uint64_t peakPagefileBefore = 0, peakPagefileAfter = 0;
  bool bracketed = false;
  for (int attempt = 0; attempt < kAttempts && !bracketed; ++attempt) {
    PROCESS_MEMORY_COUNTERS first{}, second{};
    std::memset(&ours, kFill, sizeof ours);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &first, sizeof first));
    CZelProcess processes;
    ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
    ASSERT_TRUE(self);
    ASSERT_NE(processes.GetMemoryCounters(self.Get(), ours.vm), 0);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &second, sizeof second));
    EXPECT_EQ(self.Close(), 1);

    before = fieldsOf(first);
    after = fieldsOf(second);
    peakPagefileBefore = first.PeakPagefileUsage;
    peakPagefileAfter = second.PeakPagefileUsage;
    const Fields mine = fieldsOf(ours.vm);
    bracketed = ours.vm.PeakPagefileUsage >= peakPagefileBefore &&
                ours.vm.PeakPagefileUsage <= peakPagefileAfter;
    for (std::size_t i = 0; i < mine.size(); ++i)
      bracketed = bracketed && std::min(before[i], after[i]) <= mine[i] &&
                  mine[i] <= std::max(before[i], after[i]);
  }
  const Fields mine = fieldsOf(ours.vm);
  for (std::size_t i = 0; i < mine.size(); ++i) {
    EXPECT_LE(std::min(before[i], after[i]), mine[i]) << kNames[i];
    EXPECT_LE(mine[i], std::max(before[i], after[i])) << kNames[i];
  }
  EXPECT_LE(peakPagefileBefore, ours.vm.PeakPagefileUsage);
  EXPECT_LE(ours.vm.PeakPagefileUsage, peakPagefileAfter);
  // The two fields GetProcessMemoryInfo lacks still have to be a live process's.
  EXPECT_GT(ours.vm.VirtualSize, 0u);
  EXPECT_GE(ours.vm.PeakVirtualSize, ours.vm.VirtualSize);
  EXPECT_GE(ours.vm.PeakWorkingSetSize, ours.vm.WorkingSetSize);
  for (unsigned char byte : ours.guard) EXPECT_EQ(byte, kFill);
}

TEST(ProcessWalkOnWindows, HostIoCountersDoNotRunAheadOfTheProcess) {
  struct Guarded {
    IO_COUNTERS io;
    std::array<unsigned char, 32> guard;
  };
  constexpr unsigned char kFill = 0xA5;
  Guarded ours;
  std::memset(&ours, kFill, sizeof ours);

  IO_COUNTERS before{}, after{};
  ASSERT_TRUE(GetProcessIoCounters(GetCurrentProcess(), &before));
  CZelProcess processes;
  ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
  ASSERT_TRUE(self);
  ASSERT_NE(processes.GetIOCounters(self.Get(), ours.io), 0);
  ASSERT_TRUE(GetProcessIoCounters(GetCurrentProcess(), &after));

  // The counters only grow, and the snapshot lies between the two readings.
  auto fieldsOf = [](const IO_COUNTERS& c) {
    return std::array{c.ReadOperationCount, c.WriteOperationCount, c.OtherOperationCount,
                      c.ReadTransferCount,  c.WriteTransferCount,  c.OtherTransferCount};
  };
  static constexpr const char* kNames[] = {"ReadOperationCount",  "WriteOperationCount",
                                           "OtherOperationCount", "ReadTransferCount",
                                           "WriteTransferCount",  "OtherTransferCount"};
  const auto low = fieldsOf(before), mine = fieldsOf(ours.io), high = fieldsOf(after);
  for (std::size_t i = 0; i < mine.size(); ++i) {
    EXPECT_LE(low[i], mine[i]) << kNames[i];
    EXPECT_LE(mine[i], high[i]) << kNames[i];
  }
  for (unsigned char byte : ours.guard) EXPECT_EQ(byte, kFill);
  EXPECT_EQ(self.Close(), 1);
}

TEST(ProcessWalkOnWindows, UnknownProcessIdFindsNothing) {
  CZelProcess processes;
  // Process IDs are multiples of four, so this one never names a process.
  ZelHandle none(processes, processes.CreateHandleFromPID(0xFFFFFFFBu));
  EXPECT_FALSE(none);
  EXPECT_EQ(processes.GetErrorCode(), static_cast<ZelCode>(ERROR_NOT_FOUND));
}

// Forged records, copies of genuine ones and pointers into them are no
// handles: every member refuses them without reading through them.
TEST(ProcessWalkOnWindows, OnlyTheLibrarysOwnHandlesAreHandles) {
  using zel::layout::ZELFIND_RECORD;
  zel::test::ProtectedProcess p;
  const zel::FindHandle process(p, p.FindFirstProcess(CZelString::FromUtf8("*")));
  const zel::FindHandle thread(p, p.FindFirstThread(process.Get()));
  ZELFIND_RECORD forged[4] = {};
  forged[0].cbSize = forged[1].cbSize = zel::layout::kFindRecordSize;
  forged[0].bKind = zel::layout::ZELFIND_PROCESS;
  forged[1].bKind = zel::layout::ZELFIND_THREAD;
  std::memcpy(&forged[2], process.Get(), sizeof(ZELFIND_RECORD));
  std::memcpy(&forged[3], thread.Get(), sizeof(ZELFIND_RECORD));
  std::vector<ZELFIND_RECORD> heap(forged, forged + 4);
  const std::vector<ZELFIND_RECORD> before = heap;
  std::vector<void*> pointers = {reinterpret_cast<void*>(std::uintptr_t{0x1234}),
                                 static_cast<std::byte*>(process.Get()) + 8};
  for (int i = 0; i < 4; ++i) pointers.insert(pointers.end(), {&forged[i], &heap[i]});
  for (void* pointer : pointers) {
    for (const auto& member : zel::test::HandleMembers()) {
      EXPECT_TRUE(member.refuses(p, pointer)) << member.name << " took " << pointer;
      EXPECT_EQ(p.GetErrorCode(), member.refusal) << member.name;
    }
  }
  EXPECT_EQ(std::memcmp(heap.data(), before.data(), sizeof forged), 0);
  EXPECT_EQ(std::memcmp(forged, before.data(), sizeof forged), 0);
  EXPECT_EQ(p.GetThreadParentProcess(thread.Get()), p.GetProcessID(process.Get()));
}

}  // namespace
