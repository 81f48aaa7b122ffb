// The rows zelps prints: one process each, read through the library, and
// their tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "filetime.h"

namespace zelps {

struct ThreadRow {
  unsigned id = 0;
  FILETIME created{};
};

struct ModuleRow {
  std::string name;
  std::string path;
  std::uint64_t base = 0;
  std::uint64_t size = 0;
};

struct ProcessRow {
  unsigned id = 0;
  unsigned parentId = 0;
  unsigned threadCount = 0;
  long basePriority = 0;
  std::string name;
  FILETIME created{};
  std::uint64_t userTicks = 0;  // CPU time, in 100 ns
  std::uint64_t kernelTicks = 0;
  std::uint64_t workingSet = 0;  // bytes
  std::uint64_t virtualSize = 0;
  std::uint64_t privateBytes = 0;
  std::optional<std::uint64_t> ioBytes;  // read and written; none where they cannot be read
  std::string commandLine;               // read only when asked for
  std::string owner;                     // DOMAIN\user, read only when asked for
  std::vector<ThreadRow> threads;
  bool wow64 = false;                // a 32-bit process on 64-bit Windows, when asked
  std::optional<long> nice;          // when asked: see NiceOf()
  std::optional<unsigned> userId;    // Linux, when asked: the effective user ID
  std::uint64_t sampled = 0;         // when the row was read, in 100 ns since 1601
  int depth = 0;                     // in a tree
  std::optional<double> cpuPercent;  // of the lifetime, or between two snapshots; 100 for one core
  // When asked: its modules (with a pattern, those that match), or the code
  // why they could not be read; whether the list was cut at its bounds.
  std::vector<ModuleRow> modules;
  std::optional<ZelCode> modulesError;
  bool modulesCut = false;
  // Linux, when asked: the time since the start, as ps counts it.
  std::optional<std::uint64_t> elapsed;
};

struct ReadOptions {
  bool threads = false;
  bool commandLine = false;
  bool owner = false;
  bool wow64 = false;
  bool nice = false;
  bool userId = false;
  bool modules = false;
  std::string modulePattern = "";  // "" for every module
};

// The processes whose image name matches `pattern` ("" for all), in snapshot order.
std::vector<ProcessRow> ReadProcesses(CZelProcess& processes, const std::string& pattern,
                                      const ReadOptions& options);

// The rows in tree order: each process below its parent, with its depth. A
// process adopts only children created after it: an ID reused by a younger
// process is not the parent of an older one. Parents that still form a cycle
// (IDs reused by processes created at the same time) are broken at the first
// row of the cycle in snapshot order, which is shown as a root: every row is
// shown exactly once.
std::vector<ProcessRow> AsTree(std::vector<ProcessRow> rows);

}  // namespace zelps
