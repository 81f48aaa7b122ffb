// The facts that /proc gives, in the units and scales that Windows reports.
#pragma once

#include <cstdint>

#include "../snapshot_records.h"
#include "proc_parsers.h"

namespace zel::procfs {

// What turns clock ticks since boot into FILETIMEs.
struct ProcClock {
  std::uint64_t bootTime = 0;  // seconds since 1970
  std::uint64_t ticksPerSecond = 100;
};

inline constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;  // 100-ns units
// 1970-01-01 as a FILETIME count (100-ns units since 1601-01-01).
inline constexpr std::uint64_t kUnixEpochAsFileTime = 116'444'736'000'000'000;

// A duration of clock ticks in 100-ns units, truncated; 2^64-1 when it does
// not fit, since the counts come from files and may be anything.
std::uint64_t DurationFromTicks(std::uint64_t ticks, std::uint64_t ticksPerSecond);
// The FILETIME of a start `startTicks` after a boot at `bootTime` (seconds
// since 1970); 2^64-1 when it does not fit.
std::uint64_t FileTimeOfStart(std::uint64_t bootTime, std::uint64_t startTicks,
                              std::uint64_t ticksPerSecond);

// The base priority that Windows would show for this scheduling, by priority
// class: real-time policies (SCHED_FIFO, SCHED_RR, SCHED_DEADLINE) 24;
// SCHED_IDLE 4; otherwise by nice: -10..-20 high (13), -1..-9 above normal
// (10), 0 normal (8), 1..9 below normal (6), 10..19 idle (4).
std::int32_t BasePriorityOf(std::int64_t nice, std::uint32_t policy);

// Memory counters in bytes, mapped from status and stat:
//   PeakVirtualSize     VmPeak
//   VirtualSize         VmSize
//   PageFaultCount      minor + major faults of stat (saturating at 2^32-1)
//   PeakWorkingSetSize  VmHWM
//   WorkingSetSize      VmRSS
//   PagefileUsage       RssAnon + VmSwap: the private (anonymous) memory that
//                       is in use, resident or swapped out (saturating at
//                       2^64-1)
//   PeakPagefileUsage   the same, as Linux keeps no peak of it
//   the four pool quotas 0: Linux charges no pools to a process
layout::VmCounters MemoryCountersOf(const StatusFields& status, const StatFields& stat);
// The private bytes that the snapshot reports beside the counters: as on
// Windows, the same as PagefileUsage.
std::uint64_t PrivateBytesOf(const StatusFields& status);

// I/O counters from io: syscr and syscw count the read and write operations,
// rchar and wchar their bytes; Linux counts no "other" operations (0).
layout::IoCounters IoCountersOf(const IoFields& io);

}  // namespace zel::procfs
