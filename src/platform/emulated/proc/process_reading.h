// Reads one process of a /proc tree into the model's terms.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "../emulation.h"
#include "proc_parsers.h"
#include "proc_reader.h"

namespace zel::emu::proc {

// What turns clock ticks since boot into FILETIMEs.
struct ProcClock {
  std::uint64_t bootTime = 0;  // seconds since 1970
  std::uint64_t ticksPerSecond = 100;
};

// A process's snapshot facts as read from stat, status and its executable.
struct ProcessRecord {
  // ID, parent, name, base priority, times, memory counters and owner; no
  // threads, I/O counters or handle count (ReadThreads, ReadCounters).
  ProcessModel model;
  std::optional<std::uint32_t> realUid;
  // False for a kernel thread and for a zombie: no user memory to read.
  bool hasAddressSpace = true;
};

// Null when the process has gone (or its stat is not one). The image name is
// the file name of the executable; when that cannot be read, of the first
// argument; failing both, the kernel's 15-character command name.
std::optional<ProcessRecord> ReadProcessRecord(const ProcReader& reader, std::uint32_t id,
                                               const ProcClock& clock);

// The threads (task/*), in ID order; null when the process has gone. A thread
// that ends while it is read is left out.
std::optional<std::vector<ThreadModel>> ReadThreads(const ProcReader& reader, std::uint32_t id,
                                                    const ProcClock& clock);

// I/O counters from io and the handle count as the number of open file
// descriptors; each stays 0 where it cannot be read (another user's process).
void ReadCounters(const ProcReader& reader, std::uint32_t id, ProcessModel& process);

// The strings and environment of a live process, as its parameters block
// would hold them.
struct LiveParameters {
  enum class Access { Readable, Denied, Gone };
  Access access = Access::Readable;
  ProcessParametersModel parameters;  // when Readable
};
LiveParameters ReadLiveParameters(const ProcReader& reader, std::uint32_t id);

// The SID that a Unix user is known by in mixed networks: S-1-22-1-<uid>.
std::string UnixUserSid(std::uint32_t uid);

}  // namespace zel::emu::proc
