#include "process_rows.h"

#include <map>

#include "ZelCodes.h"
#include "ZelHandles.h"
#include "process_facts.h"
#ifdef _WIN32
#include <winternl.h>
#endif

namespace zelps {
namespace {

std::vector<ThreadRow> ReadThreads(CZelProcess& processes, void* process) {
  std::vector<ThreadRow> rows;
  if (processes.GetThreadCount(process) == 0) return rows;
  const zel::FindHandle thread(processes, processes.FindFirstThread(process));
  if (!thread) return rows;
  do {
    ThreadRow row;
    row.id = processes.GetThreadID(thread.Get());
    processes.GetThreadCreateTime(thread.Get(), row.created);
    rows.push_back(row);
  } while (processes.FindNextThread(thread.Get()));
  return rows;
}

void ReadModules(CZelProcess& processes, void* process, const std::string& pattern,
                 ProcessRow& row) {
  const zel::FindHandle module(processes,
                               processes.FindFirstModule(process, CZelString::FromUtf8(pattern)));
  if (!module) {
    // None that matches is an answer; anything else says why there is none.
    if (processes.GetErrorCode() != zel::kErrorNotFound)
      row.modulesError = processes.GetErrorCode();
    return;
  }
  do {
    row.modules.push_back({processes.GetModuleName(module.Get()).ToUtf8(),
                           processes.GetModulePath(module.Get()).ToUtf8(),
                           processes.GetModuleBase(module.Get()),
                           processes.GetModuleSize(module.Get())});
  } while (processes.FindNextModule(module.Get()));
  row.modulesCut = processes.GetErrorCode() == zel::kErrorMoreData;
}

}  // namespace

std::vector<ProcessRow> ReadProcesses(CZelProcess& processes, const std::string& pattern,
                                      const ReadOptions& options) {
  std::vector<ProcessRow> rows;
  // Owned, since reading a row allocates and may throw halfway through the walk.
  const zel::FindHandle walk(processes, processes.FindFirstProcess(CZelString::FromUtf8(pattern)));
  if (!walk) return rows;
  const std::uint64_t now = NowTicks();
  do {
    void* process = walk.Get();
    ProcessRow row;
    row.id = processes.GetProcessID(process);
    row.parentId = processes.GetParentProcess(process);
    row.threadCount = processes.GetThreadCount(process);
    row.basePriority = processes.GetBasePriority(process);
    row.name = processes.GetName(process).ToUtf8();
    row.sampled = now;
    processes.GetCreateTime(process, row.created);
    FILETIME time{};
    if (processes.GetUserTime(process, time)) row.userTicks = Ticks(time);
    if (processes.GetKernelTime(process, time)) row.kernelTicks = Ticks(time);
    VM_COUNTERS memory{};
    if (processes.GetMemoryCounters(process, memory)) {
      row.workingSet = memory.WorkingSetSize;
      row.virtualSize = memory.VirtualSize;
      row.privateBytes = memory.PagefileUsage;
    }
    IO_COUNTERS io{};
    if (processes.GetIOCounters(process, io))
      row.ioBytes = io.ReadTransferCount + io.WriteTransferCount;
    if (options.commandLine) row.commandLine = processes.GetCommandLineW(process).ToUtf8();
    if (options.owner) {
      CZelString user, domain;
      if (processes.GetUserAndDomain(process, user, domain))
        row.owner = domain.ToUtf8() + "\\" + user.ToUtf8();
    }
    if (options.threads) row.threads = ReadThreads(processes, process);
    if (options.wow64) row.wow64 = IsWow64Process(row.id);
    if (options.nice) row.nice = NiceOf(row.id);
    if (options.userId) row.userId = UserIdOf(row.id);
    if (options.modules) ReadModules(processes, process, options.modulePattern, row);
    rows.push_back(std::move(row));
  } while (processes.FindNextProcess(walk.Get()));
  return rows;
}

std::vector<ProcessRow> AsTree(std::vector<ProcessRow> rows) {
  std::map<unsigned, std::size_t> by_id;
  for (std::size_t i = 0; i < rows.size(); ++i) by_id.emplace(rows[i].id, i);
  std::vector<std::vector<std::size_t>> children(rows.size());
  std::vector<std::size_t> roots;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto parent = by_id.find(rows[i].parentId);
    const bool adopted = parent != by_id.end() && parent->second != i &&
                         Ticks(rows[parent->second].created) <= Ticks(rows[i].created);
    (adopted ? children[parent->second] : roots).push_back(i);
  }
  std::vector<ProcessRow> ordered;
  ordered.reserve(rows.size());
  std::vector<bool> shown(rows.size(), false);
  // Depth-first without recursion: a deep chain of processes is no danger.
  std::vector<std::pair<std::size_t, int>> stack;
  const auto show_below = [&](std::size_t root) {
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
      auto [index, depth] = stack.back();
      stack.pop_back();
      if (shown[index]) continue;
      shown[index] = true;
      rows[index].depth = depth;
      ordered.push_back(std::move(rows[index]));
      for (auto it = children[index].rbegin(); it != children[index].rend(); ++it)
        stack.emplace_back(*it, depth + 1);
    }
  };
  for (const std::size_t root : roots) show_below(root);
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (!shown[i]) show_below(i);
  return ordered;
}

}  // namespace zelps
