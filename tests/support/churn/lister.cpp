#include "lister.h"

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "ZelHandles.h"
#include "support/filetime.h"

namespace zel::churn {
namespace {

using zel::FindHandle;
using zel::test::Ticks;

constexpr unsigned kNoId = 0xFFFFFFFF;
constexpr ZelCode kAccessDenied = 5;
constexpr ZelCode kNoMoreItems = 259;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// 1 January 2000: no process of a running system started before.
constexpr std::uint64_t kYear2000 = 125'911'584'000'000'000;
// Clocks that two sources read apart (a start time rounded to the boot
// second, CPU time counted from a slightly earlier start) may disagree by
// this much.
constexpr std::uint64_t kClockSlack = 2 * kTicksPerSecond;

std::string Where(unsigned id) { return "process " + std::to_string(id) + ": "; }

unsigned Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

}  // namespace

std::string ListerFigures::Line() const {
  char line[320];
  std::snprintf(line, sizeof line,
                "snapshots=%zu processes_walked=%zu threads_walked=%zu facts_read=%zu "
                "live_calls=%zu strings_read=%zu environment_copies=%zu owners_read=%zu "
                "starting_records=%zu",
                snapshots, processes, threads, factCalls, liveCalls, stringsRead, environmentCopies,
                ownersRead, startingSeen);
  return line;
}

std::uint64_t NowTicks() {
  constexpr std::uint64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;
  const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  return kTicksFrom1601To1970 +
         static_cast<std::uint64_t>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100);
}

std::vector<WalkedProcess> Lister::Walk(bool live, const BetweenSteps& between) {
  ++figures_.snapshots;
  std::vector<WalkedProcess> walked;
  std::set<unsigned> seen;
  FindHandle find(processes_, processes_.FindFirstProcess(CZelString()));
  Record("FindFirstProcess");
  if (!find) {
    tally_.Breach("the walk found no process");
    return walked;
  }
  for (;;) {
    const unsigned id = processes_.GetProcessID(find.Get());
    if (!seen.insert(id).second) tally_.Breach(Where(id) + "walked twice in one snapshot");
    walked.push_back({id, processes_.GetParentProcess(find.Get())});
    ++figures_.processes;
    ReadSnapshotFacts(find.Get(), id, between);
    if (live) ReadLiveFacts(find.Get(), id, between);
    const int more = processes_.FindNextProcess(find.Get());
    Record("FindNextProcess");
    if (more != 1) {
      if (processes_.GetErrorCode() != kNoMoreItems)
        tally_.Breach("the walk stopped early after process " + std::to_string(id));
      break;
    }
  }
  if (find.Close() != 1) tally_.Breach("closing the walk's handle failed");
  Record("CloseHandle");
  if (walked.size() != processes_.GetProcessCount())
    tally_.Breach("the walk found " + std::to_string(walked.size()) + " processes of " +
                  std::to_string(processes_.GetProcessCount()));
  return walked;
}

bool Lister::IsStarting(void* process) {
  constexpr std::uint64_t kUnsetTime = 0x5555555555555555;
  if (startingParent_ == kNoParent) return false;
  FILETIME created{};
  processes_.GetCreateTime(process, created);
  if (Ticks(created) == kUnsetTime) return true;
  if (processes_.GetParentProcess(process) != startingParent_) return false;
  return processes_.GetName(process).IsEmpty() || Ticks(created) > NowTicks() + kClockSlack;
}

void Lister::ReadSnapshotFacts(void* process, unsigned id, const BetweenSteps& between) {
  const auto step = [&](Step s) {
    if (between) between(id, s);
    Prime(process);
    ++figures_.factCalls;
  };
  const bool starting = IsStarting(process);
  if (starting) ++figures_.startingSeen;
  step(kName);
  if (processes_.GetName(process).IsEmpty() && !starting) tally_.Breach(Where(id) + "no name");
  Record("GetName");
  step(kId);
  if (processes_.GetProcessID(process) != id) tally_.Breach(Where(id) + "its ID changed");
  Record("GetProcessID");
  step(kParent);
  if (processes_.GetParentProcess(process) == kNoId) tally_.Breach(Where(id) + "no parent ID");
  Record("GetParentProcess");
  step(kPriority);
  const long priority = processes_.GetBasePriority(process);
  if (priority < 0 || priority > 31)
    tally_.Breach(Where(id) + "priority " + std::to_string(priority));
  Record("GetBasePriority");
  step(kThreadCount);
  const unsigned threads = processes_.GetThreadCount(process);
  if (threads == kNoId) tally_.Breach(Where(id) + "no thread count");
  Record("GetThreadCount");

  FILETIME created{}, user{}, kernel{};
  step(kCreateTime);
  if (processes_.GetCreateTime(process, created) != 1)
    tally_.Breach(Where(id) + "no creation time");
  Record("GetCreateTime");
  step(kUserTime);
  if (processes_.GetUserTime(process, user) != 1) tally_.Breach(Where(id) + "no user time");
  Record("GetUserTime");
  step(kKernelTime);
  if (processes_.GetKernelTime(process, kernel) != 1) tally_.Breach(Where(id) + "no kernel time");
  Record("GetKernelTime");
  const std::uint64_t now = NowTicks();
  const std::uint64_t start = Ticks(created);
  if (starting) {
    // Nothing to hold its times against.
  } else if (start < kYear2000 || start > now + kClockSlack) {
    tally_.Breach(Where(id) + "created at " + std::to_string(start) + ", now " +
                  std::to_string(now));
  } else if (const std::uint64_t lived = now + kClockSlack - std::min(start, now);
             Ticks(user) + Ticks(kernel) > lived * Cores() + kClockSlack) {
    // No process can have run longer than all cores since it started.
    tally_.Breach(Where(id) + "CPU time " + std::to_string(Ticks(user) + Ticks(kernel)) +
                  " beyond its life " + std::to_string(lived));
  }

  step(kMemoryCounters);
  VM_COUNTERS vm{};
  if (processes_.GetMemoryCounters(process, vm) != 1)
    tally_.Breach(Where(id) + "no memory counters");
  Record("GetMemoryCounters");
  if (vm.PeakVirtualSize < vm.VirtualSize || vm.PeakWorkingSetSize < vm.WorkingSetSize)
    tally_.Breach(Where(id) + "a peak below its current value");
  step(kIoCounters);
  IO_COUNTERS io{};
  // Counters that the caller may not read are refused, never given as zeros.
  if (processes_.GetIOCounters(process, io) != 1 && processes_.GetErrorCode() != kAccessDenied)
    tally_.Breach(Where(id) + "no I/O counters");
  Record("GetIOCounters");

  step(kThreadWalk);
  if (threads != kNoId) WalkThreads(process, id, threads, starting);
}

void Lister::WalkThreads(void* process, unsigned id, unsigned count, bool starting) {
  FindHandle thread(processes_, processes_.FindFirstThread(process));
  Record("FindFirstThread");
  if (!thread) {
    tally_.Breach(Where(id) + "no thread handle");
    return;
  }
  FILETIME processCreated{};
  processes_.GetCreateTime(process, processCreated);
  const std::uint64_t now = NowTicks();
  std::set<unsigned> ids;
  unsigned walked = 0;
  for (;;) {
    Prime(process);
    const unsigned tid = processes_.GetThreadID(thread.Get());
    Record("GetThreadID");
    if (count == 0) break;  // a process without threads: the ID's code says so
    ++walked;
    ++figures_.threads;
    figures_.factCalls += 3;
    if (!ids.insert(tid).second)
      tally_.Breach(Where(id) + "thread " + std::to_string(tid) + " twice");
    Prime(process);
    if (processes_.GetThreadParentProcess(thread.Get()) != id)
      tally_.Breach(Where(id) + "thread " + std::to_string(tid) + " of another process");
    Record("GetThreadParentProcess");
    Prime(process);
    FILETIME created{};
    if (processes_.GetThreadCreateTime(thread.Get(), created) != 1)
      tally_.Breach(Where(id) + "thread " + std::to_string(tid) + " without creation time");
    Record("GetThreadCreateTime");
    if (!starting && (Ticks(created) + kClockSlack < Ticks(processCreated) ||
                      Ticks(created) > now + kClockSlack))
      tally_.Breach(Where(id) + "thread " + std::to_string(tid) + " created at " +
                    std::to_string(Ticks(created)));
    Prime(process);
    const int more = processes_.FindNextThread(thread.Get());
    Record("FindNextThread");
    if (more != 1) break;
  }
  if (walked != count)
    tally_.Breach(Where(id) + std::to_string(walked) + " threads walked of " +
                  std::to_string(count));
  if (thread.Close() != 1) tally_.Breach(Where(id) + "closing a thread handle failed");
}

void Lister::ReadLiveFacts(void* process, unsigned id, const BetweenSteps& between) {
  const auto step = [&](Step s) {
    if (between) between(id, s);
    Prime(process);
    ++figures_.liveCalls;
  };
  const struct {
    Step step;
    const char* operation;
    CZelString (CZelProcess::*read)(void*);
  } strings[] = {
      {kImageFile, "GetImageFile", &CZelProcess::GetImageFile},
      {kCommandLine, "GetCommandLineW", &CZelProcess::GetCommandLineW},
      {kCurrentDirectory, "GetCurrentDirectoryW", &CZelProcess::GetCurrentDirectoryW},
      {kWindowTitle, "GetWindowTitle", &CZelProcess::GetWindowTitle},
      {kDesktopName, "GetDesktopName", &CZelProcess::GetDesktopName},
      {kPath, "GetPath", &CZelProcess::GetPath},
  };
  for (const auto& string : strings) {
    step(string.step);
    ReadString(process, id, string.operation, string.read);
  }
  step(kEnvironment);
  ReadEnvironment(process, id);
  step(kOwner);
  ReadOwner(process, id);
  step(kMainWindow);
  processes_.GetMainWindow(process);
  Record("GetMainWindow");
}

void Lister::ReadString(void* process, unsigned id, const char* operation,
                        CZelString (CZelProcess::*read)(void*)) {
  const CZelString text = (processes_.*read)(process);
  const ZelCode code = processes_.GetErrorCode();
  tally_.Record(operation, code);
  if (text.IsEmpty()) return;
  ++figures_.stringsRead;
  if (code != 0)
    tally_.Breach(Where(id) + operation + " gave text with code " + std::to_string(code));
}

void Lister::ReadEnvironment(void* process, unsigned id) {
  // Held bare, to see what giving it back answers.
  unsigned char* copy = processes_.GetEnvironmentBuffer(process);
  const ZelCode code = processes_.GetErrorCode();
  tally_.Record("GetEnvironmentBuffer", code);
  if ((copy != nullptr) != (code == 0))
    tally_.Breach(Where(id) +
                  (copy ? "an environment copy with code " : "no environment copy with code ") +
                  std::to_string(code));
  if (!copy) return;
  ++figures_.environmentCopies;
  Prime(process);
  const int freed = processes_.FreeEnvironmentBuffer(copy);
  Record("FreeEnvironmentBuffer");
  if (freed != 1 || copy) tally_.Breach(Where(id) + "its environment copy was not given back");
}

void Lister::ReadOwner(void* process, unsigned id) {
  CZelString user = CZelString::FromUtf8("stale user");
  CZelString domain = CZelString::FromUtf8("stale domain");
  const int owned = processes_.GetUserAndDomain(process, user, domain);
  const ZelCode code = processes_.GetErrorCode();
  tally_.Record("GetUserAndDomain", code);
  if ((owned == 1) != (code == 0))
    tally_.Breach(Where(id) + "owner answered " + std::to_string(owned) + " with code " +
                  std::to_string(code));
  if (owned == 1 && user.IsEmpty()) tally_.Breach(Where(id) + "an owner without a name");
  if (owned != 1 && (!user.IsEmpty() || !domain.IsEmpty()))
    tally_.Breach(Where(id) + "a failed owner left text behind");
  if (owned == 1) ++figures_.ownersRead;
}

}  // namespace zel::churn
