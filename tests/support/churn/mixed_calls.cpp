#include "mixed_calls.h"

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>
#endif

#include "ZelHandles.h"

namespace zel::churn {
namespace {

using zel::FindHandle;

}  // namespace

std::size_t MixedCalls::Round() {
  std::size_t calls = 0;
  {
    CZelProcess fresh;
    fresh.Refresh();
    fresh.GetProcessCount();
    calls += 3;
    FindHandle find(fresh, fresh.FindFirstProcess(pattern_));
    ++calls;
    if (find) {
      do {
        fresh.GetName(find.Get());
        calls += 2;
      } while (fresh.FindNextProcess(find.Get()) == 1);
      find.Close();
      ++calls;
    }
  }
  for (const unsigned id : targets_) calls += OnTarget(id);
  return calls;
}

std::size_t MixedCalls::Run(std::size_t calls) {
  std::size_t made = 0;
  while (made < calls) made += Round();
  return made;
}

std::size_t MixedCalls::OnTarget(unsigned id) {
  CZelProcess& p = fixed_;
  std::size_t calls = 1;
  FindHandle process(p, p.CreateHandleFromPID(id));
  if (!process) return calls;
  void* h = process.Get();
  {
    FindHandle copy(p, p.DuplicateHandle(h));
    p.IsProcessHandle(copy.Get());
    copy.Close();
    calls += 3;
  }
  FILETIME time{};
  VM_COUNTERS vm{};
  IO_COUNTERS io{};
  p.GetName(h);
  p.GetProcessID(h);
  p.GetParentProcess(h);
  p.GetBasePriority(h);
  p.GetThreadCount(h);
  p.GetCreateTime(h, time);
  p.GetUserTime(h, time);
  p.GetKernelTime(h, time);
  p.GetMemoryCounters(h, vm);
  p.GetIOCounters(h, io);
  calls += 10;
  {
    FindHandle thread(p, p.FindFirstThread(h));
    ++calls;
    if (thread) {
      const unsigned tid = p.GetThreadID(thread.Get());
      p.GetThreadParentProcess(thread.Get());
      p.GetThreadCreateTime(thread.Get(), time);
      FindHandle same(p, p.CreateHandleFromTID(h, tid));
      same.Close();
      p.FindNextThread(thread.Get());
      thread.Close();
      calls += 7;
    }
  }
  p.GetImageFile(h);
  p.GetCommandLineW(h);
  p.GetCurrentDirectoryW(h);
  p.GetWindowTitle(h);
  p.GetDesktopName(h);
  p.GetPath(h);
  calls += 6;
  unsigned char* environment = p.GetEnvironmentBuffer(h);
  ++calls;
  if (environment != nullptr) {
    p.FreeEnvironmentBuffer(environment);
    ++calls;
  }
  CZelString user;
  CZelString domain;
  p.GetUserAndDomain(h, user, domain);
  p.GetMainWindow(h);
  process.Close();
  calls += 3;
  return calls;
}

bool MixedCalls::TargetsInSnapshot() {
  bool all = true;
  for (const unsigned id : targets_) {
    void* handle = fixed_.CreateHandleFromPID(id);
    all = all && handle != nullptr;
    if (handle) fixed_.CloseHandle(handle);
  }
  return all;
}

}  // namespace zel::churn
