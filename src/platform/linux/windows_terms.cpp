#include "windows_terms.h"

#include <algorithm>
#include <limits>

namespace zel::procfs {
namespace {

constexpr std::uint32_t kSchedFifo = 1;
constexpr std::uint32_t kSchedRoundRobin = 2;
constexpr std::uint32_t kSchedIdle = 5;
constexpr std::uint32_t kSchedDeadline = 6;

constexpr std::int32_t kRealTimePriority = 24;
constexpr std::int32_t kHighPriority = 13;
constexpr std::int32_t kAboveNormalPriority = 10;
constexpr std::int32_t kNormalPriority = 8;
constexpr std::int32_t kBelowNormalPriority = 6;
constexpr std::int32_t kIdlePriority = 4;

// Wide enough for a 64-bit count times the 10^7 units of a second, and for
// the sums below, so that the conversions are exact before they saturate.
using Wide = unsigned __int128;

std::uint64_t Saturated(Wide value) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  return value > kMax ? kMax : static_cast<std::uint64_t>(value);
}

}  // namespace

std::uint64_t DurationFromTicks(std::uint64_t ticks, std::uint64_t ticksPerSecond) {
  if (ticksPerSecond == 0) return 0;
  return Saturated(Wide{ticks} * kFileTimeUnitsPerSecond / ticksPerSecond);
}

std::uint64_t FileTimeOfStart(std::uint64_t bootTime, std::uint64_t startTicks,
                              std::uint64_t ticksPerSecond) {
  return Saturated(Wide{kUnixEpochAsFileTime} + Wide{bootTime} * kFileTimeUnitsPerSecond +
                   DurationFromTicks(startTicks, ticksPerSecond));
}

std::int32_t BasePriorityOf(std::int64_t nice, std::uint32_t policy) {
  if (policy == kSchedFifo || policy == kSchedRoundRobin || policy == kSchedDeadline)
    return kRealTimePriority;
  if (policy == kSchedIdle) return kIdlePriority;
  if (nice <= -10) return kHighPriority;
  if (nice < 0) return kAboveNormalPriority;
  if (nice == 0) return kNormalPriority;
  if (nice < 10) return kBelowNormalPriority;
  return kIdlePriority;
}

layout::VmCounters MemoryCountersOf(const StatusFields& status, const StatFields& stat) {
  layout::VmCounters vm{};
  vm.PeakVirtualSize = status.vmPeak;
  vm.VirtualSize = status.vmSize;
  // Each count is whatever the file says, so their sum may not fit in 64
  // bits either: each is held to the field's range before they are added.
  constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint32_t>::max();
  vm.PageFaultCount = static_cast<std::uint32_t>(std::min(
      kMaxCount, std::min(stat.minorFaults, kMaxCount) + std::min(stat.majorFaults, kMaxCount)));
  vm.PeakWorkingSetSize = status.vmHwm;
  vm.WorkingSetSize = status.vmRss;
  vm.PagefileUsage = PrivateBytesOf(status);
  vm.PeakPagefileUsage = vm.PagefileUsage;
  return vm;
}

std::uint64_t PrivateBytesOf(const StatusFields& status) {
  return Saturated(Wide{status.rssAnon} + status.vmSwap);
}

layout::IoCounters IoCountersOf(const IoFields& io) {
  layout::IoCounters counters{};
  counters.ReadOperationCount = io.readCalls;
  counters.WriteOperationCount = io.writeCalls;
  counters.ReadTransferCount = io.readChars;
  counters.WriteTransferCount = io.writeChars;
  return counters;
}

}  // namespace zel::procfs
