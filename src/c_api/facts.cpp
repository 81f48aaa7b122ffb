// The facts of the snapshot, through the C interface.
#include "wrap.h"

using zel::c_api::Fill;
using zel::c_api::Invoke;
using zel::c_api::kNoId;

extern "C" {

size_t zel_get_name(zel_process* process, void* find, char* buf, size_t size) {
  return zel::c_api::TextOf(process, find, buf, size, &CZelProcess::GetName);
}

uint32_t zel_get_process_id(zel_process* process, void* find) {
  return Invoke(process, kNoId, [&](zel_process& o) { return o.GetProcessID(find); });
}

uint32_t zel_get_parent_process(zel_process* process, void* find) {
  return Invoke(process, kNoId, [&](zel_process& o) { return o.GetParentProcess(find); });
}

int32_t zel_get_base_priority(zel_process* process, void* find) {
  return Invoke(process, int32_t{-1},
                [&](zel_process& o) { return static_cast<int32_t>(o.GetBasePriority(find)); });
}

uint32_t zel_get_thread_count(zel_process* process, void* find) {
  return Invoke(process, kNoId, [&](zel_process& o) { return o.GetThreadCount(find); });
}

int zel_get_create_time(zel_process* process, void* find, uint64_t* time) {
  return zel::c_api::TimeOf(process, find, time, &CZelProcess::GetCreateTime);
}

int zel_get_user_time(zel_process* process, void* find, uint64_t* time) {
  return zel::c_api::TimeOf(process, find, time, &CZelProcess::GetUserTime);
}

int zel_get_kernel_time(zel_process* process, void* find, uint64_t* time) {
  return zel::c_api::TimeOf(process, find, time, &CZelProcess::GetKernelTime);
}

int zel_get_memory_counters(zel_process* process, void* find, zel_memory_counters* counters) {
  return Fill(process, counters, [&](zel_process& o, zel_memory_counters& out) {
    zel::c_api::PlatformRecord<zel::layout::VmCounters> record;
    if (!o.GetMemoryCounters(find, record.As<_VM_COUNTERS>())) return 0;
    const zel::layout::VmCounters vm = record.Read();
    out = {vm.PeakVirtualSize,        vm.VirtualSize,
           vm.PageFaultCount,         vm.PeakWorkingSetSize,
           vm.WorkingSetSize,         vm.QuotaPeakPagedPoolUsage,
           vm.QuotaPagedPoolUsage,    vm.QuotaPeakNonPagedPoolUsage,
           vm.QuotaNonPagedPoolUsage, vm.PagefileUsage,
           vm.PeakPagefileUsage};
    return 1;
  });
}

int zel_get_io_counters(zel_process* process, void* find, zel_io_counters* counters) {
  return Fill(process, counters, [&](zel_process& o, zel_io_counters& out) {
    zel::c_api::PlatformRecord<zel::layout::IoCounters> record;
    if (!o.GetIOCounters(find, record.As<_IO_COUNTERS>())) return 0;
    const zel::layout::IoCounters io = record.Read();
    out = {io.ReadOperationCount, io.WriteOperationCount, io.OtherOperationCount,
           io.ReadTransferCount,  io.WriteTransferCount,  io.OtherTransferCount};
    return 1;
  });
}

uint32_t zel_get_thread_id(zel_process* process, void* thread) {
  return Invoke(process, kNoId, [&](zel_process& o) { return o.GetThreadID(thread); });
}

uint32_t zel_get_thread_parent_process(zel_process* process, void* thread) {
  return Invoke(process, kNoId, [&](zel_process& o) { return o.GetThreadParentProcess(thread); });
}

int zel_get_thread_create_time(zel_process* process, void* thread, uint64_t* time) {
  return zel::c_api::TimeOf(process, thread, time, &CZelProcess::GetThreadCreateTime);
}

}  // extern "C"
