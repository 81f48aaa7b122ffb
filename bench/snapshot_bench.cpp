// The snapshot and its walks over a large scripted system: where the
// per-record cost of the process object goes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "ZelHandles.h"
#include "fake_windows/api.h"
#include "fake_windows/fake_system.h"
#include "snapshot/records.h"

namespace {

namespace fake = zel::fake;
using zel::FindHandle;

constexpr int kRecordCount = 10000;
constexpr int kThreadsPerRecord = 3;
// One record in this many is a system-looking name that "s*;w*" accepts.
constexpr int kMatchEvery = 100;

std::u16string Widen(const std::string& text) { return {text.begin(), text.end()}; }

// IDs step by four as the platform hands them out; thread IDs are derived
// from the process ID so that every one is unique.
fake::ProcessModel MakeRecord(int index) {
  fake::ProcessModel p;
  p.id = static_cast<std::uint32_t>(4 * (index + 1));
  p.parentId = index == 0 ? 0 : 4;
  if (index % kMatchEvery == 0)
    p.name = (index / kMatchEvery) % 2 == 0 ? u"svchost.exe" : u"wininit.exe";
  else
    p.name = u"p" + Widen(std::to_string(index)) + u".exe";
  p.createTime = 0x01D0000000000000ULL + p.id;
  p.userTime = 1000u * static_cast<std::uint64_t>(index);
  p.kernelTime = 500u * static_cast<std::uint64_t>(index);
  p.vm.WorkingSetSize = 4096u * static_cast<std::uint64_t>(index + 1);
  p.io.ReadOperationCount = static_cast<std::uint64_t>(index);
  for (int t = 0; t < kThreadsPerRecord; ++t) {
    fake::ThreadModel thread;
    thread.id = p.id * 100 + static_cast<std::uint32_t>(t) + 1;
    thread.createTime = 0x01D1000000000000ULL + thread.id;
    p.threads.push_back(thread);
  }
  return p;
}

// Built once: rebuilding ten thousand models for every benchmark run would
// dominate the setup time without changing anything that is measured.
fake::System& LargeSystem() {
  static fake::System system;
  static const bool built = [] {
    system.processes.reserve(kRecordCount);
    for (int i = 0; i < kRecordCount; ++i) system.processes.push_back(MakeRecord(i));
    return true;
  }();
  static_cast<void>(built);
  return system;
}

std::uint32_t LastRecordId() { return LargeSystem().processes.back().id; }

CZelString Pattern(std::u16string_view text) {
  std::vector<unsigned short> units(text.begin(), text.end());
  units.push_back(0);
  return CZelString(units.data());
}

void SetPerRecord(benchmark::State& state, std::int64_t records_per_iteration) {
  state.SetItemsProcessed(state.iterations() * records_per_iteration);
}

void BM_SnapshotFullWalkReadingIds(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  const CZelString all;
  std::int64_t visited = 0;
  for (auto _ : state) {
    FindHandle walk(processes, processes.FindFirstProcess(all));
    if (!walk) {
      state.SkipWithError("FindFirstProcess found nothing");
      break;
    }
    std::uint64_t sum = 0;
    std::int64_t count = 0;
    do {
      sum += processes.GetProcessID(walk.Get());
      ++count;
    } while (processes.FindNextProcess(walk.Get()));
    benchmark::DoNotOptimize(sum);
    visited = count;
  }
  state.counters["records"] = static_cast<double>(visited);
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotFullWalkReadingIds);

// Every record's name is copied out and matched, so the cost per scanned
// record, not per match, is the figure to read.
void BM_SnapshotFilteredWalk(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  const CZelString pattern = Pattern(u"s*;w*");
  std::int64_t matched = 0;
  for (auto _ : state) {
    FindHandle walk(processes, processes.FindFirstProcess(pattern));
    if (!walk) {
      state.SkipWithError("the pattern matched nothing");
      break;
    }
    std::int64_t count = 0;
    do {
      benchmark::DoNotOptimize(processes.GetProcessID(walk.Get()));
      ++count;
    } while (processes.FindNextProcess(walk.Get()));
    matched = count;
  }
  state.counters["matched"] = static_cast<double>(matched);
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotFilteredWalk);

// The last record is the worst case: the lookup walks the whole chain.
void BM_SnapshotHandleFromLastPid(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  const std::uint32_t last = LastRecordId();
  for (auto _ : state) {
    FindHandle found(processes, processes.CreateHandleFromPID(last));
    if (!found) {
      state.SkipWithError("the last record was not found");
      break;
    }
    benchmark::DoNotOptimize(found.Get());
  }
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotHandleFromLastPid);

void BM_SnapshotGetName(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  FindHandle first(processes, processes.FindFirstProcess(CZelString()));
  if (!first) {
    state.SkipWithError("FindFirstProcess found nothing");
    return;
  }
  for (auto _ : state) {
    CZelString name = processes.GetName(first.Get());
    benchmark::DoNotOptimize(name.GetLength());
  }
}
BENCHMARK(BM_SnapshotGetName);

// The check that every call taking a handle starts with, on a handle the
// library made: it knows its own records, so it asks the platform nothing.
void BM_SnapshotHandleCheckAlone(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  FindHandle first(processes, processes.FindFirstProcess(CZelString()));
  if (!first) {
    state.SkipWithError("FindFirstProcess found nothing");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(zel::records::RecordOfKind(first.Get(), zel::layout::ZELFIND_PROCESS));
}
BENCHMARK(BM_SnapshotHandleCheckAlone);

// Every fact of every record and thread, as a process lister reads them.
void BM_SnapshotFullWalkReadingEveryFact(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  const CZelString all;
  for (auto _ : state) {
    FindHandle walk(processes, processes.FindFirstProcess(all));
    if (!walk) {
      state.SkipWithError("FindFirstProcess found nothing");
      break;
    }
    std::uint64_t sum = 0;
    do {
      void* h = walk.Get();
      sum += processes.GetName(h).GetLength();
      sum += processes.GetProcessID(h) + processes.GetParentProcess(h);
      sum += static_cast<std::uint64_t>(processes.GetBasePriority(h));
      const unsigned threads = processes.GetThreadCount(h);
      sum += threads;
      FILETIME create{}, user{}, kernel{};
      processes.GetCreateTime(h, create);
      processes.GetUserTime(h, user);
      processes.GetKernelTime(h, kernel);
      sum += create.dwLowDateTime + user.dwLowDateTime + kernel.dwLowDateTime;
      VM_COUNTERS vm{};
      IO_COUNTERS io{};
      processes.GetMemoryCounters(h, vm);
      processes.GetIOCounters(h, io);
      sum += vm.WorkingSetSize + io.ReadOperationCount;
      FindHandle thread(processes, processes.FindFirstThread(h));
      if (thread && threads != 0) {
        do {
          FILETIME started{};
          sum += processes.GetThreadID(thread.Get());
          processes.GetThreadCreateTime(thread.Get(), started);
          sum += started.dwLowDateTime;
        } while (processes.FindNextThread(thread.Get()));
      }
    } while (processes.FindNextProcess(walk.Get()));
    benchmark::DoNotOptimize(sum);
  }
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotFullWalkReadingEveryFact);

// The fake Windows' own cost of answering the probe and the fill: the
// floor under the snapshot benchmarks below, which include it.
void BM_SnapshotFakeQueryAlone(benchmark::State& state) {
  fake::System& system = LargeSystem();
  std::vector<std::uint64_t> buffer;
  for (auto _ : state) {
    std::uint32_t needed = 0;
    system.QuerySnapshot(nullptr, 0, &needed);
    buffer.resize((needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    const auto status = system.QuerySnapshot(
        buffer.data(), static_cast<std::uint32_t>(buffer.size() * sizeof(std::uint64_t)), &needed);
    if (status != 0) {
      state.SkipWithError("the scripted fill failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotFakeQueryAlone);

void BM_SnapshotConstruct(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  for (auto _ : state) {
    CZelProcess processes;
    benchmark::DoNotOptimize(processes);
  }
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotConstruct);

void BM_SnapshotRefresh(benchmark::State& state) {
  fake::ScopedSystem use(LargeSystem());
  CZelProcess processes;
  for (auto _ : state) {
    if (!processes.Refresh()) {
      state.SkipWithError("Refresh failed");
      break;
    }
  }
  SetPerRecord(state, kRecordCount);
}
BENCHMARK(BM_SnapshotRefresh);

}  // namespace
