// The memory and I/O counters as the lists of their fields in declaration
// order, so that a test compares them whole (a field copied into its
// neighbour, or left out, shows) and a dump names each.
#pragma once

#include <array>
#include <cstdint>

namespace zel::test {

// The fields' names, in the same order.
inline constexpr std::array<const char*, 11> kVmFieldNames = {
    "PeakVirtualSize",        "VirtualSize",
    "PageFaultCount",         "PeakWorkingSetSize",
    "WorkingSetSize",         "QuotaPeakPagedPoolUsage",
    "QuotaPagedPoolUsage",    "QuotaPeakNonPagedPoolUsage",
    "QuotaNonPagedPoolUsage", "PagefileUsage",
    "PeakPagefileUsage"};
inline constexpr std::array<const char*, 6> kIoFieldNames = {
    "ReadOperationCount", "WriteOperationCount", "OtherOperationCount",
    "ReadTransferCount",  "WriteTransferCount",  "OtherTransferCount"};

template <class Vm>
std::array<std::uint64_t, 11> VmFields(const Vm& vm) {
  return {vm.PeakVirtualSize,        vm.VirtualSize,
          vm.PageFaultCount,         vm.PeakWorkingSetSize,
          vm.WorkingSetSize,         vm.QuotaPeakPagedPoolUsage,
          vm.QuotaPagedPoolUsage,    vm.QuotaPeakNonPagedPoolUsage,
          vm.QuotaNonPagedPoolUsage, vm.PagefileUsage,
          vm.PeakPagefileUsage};
}

template <class Io>
std::array<std::uint64_t, 6> IoFields(const Io& io) {
  return {io.ReadOperationCount, io.WriteOperationCount, io.OtherOperationCount,
          io.ReadTransferCount,  io.WriteTransferCount,  io.OtherTransferCount};
}

}  // namespace zel::test
