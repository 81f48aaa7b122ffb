// The facts of the process under a process handle, read from the snapshot.
#include <cstring>

#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "process_name.h"
#include "records.h"

namespace {

using zel::layout::Load;
using zel::records::CheckedHandle;

// The record under a valid process handle; otherwise records `bad_handle`
// and gives null.
const std::byte* ProcessOr(CZelError& error, void* handle, const zel::records::Snapshot& snapshot,
                           ZelCode bad_handle = zel::code::kInvalidParameter) {
  auto* record = CheckedHandle(error, handle, zel::layout::ZELFIND_PROCESS, snapshot, bad_handle);
  return record ? record->pProcess : nullptr;
}

constexpr unsigned int kNoId = 0xFFFFFFFF;

// The value queries record success, unlike the thread count and counters.
template <class T>
T ReadValue(CZelError& error, void* handle, const zel::records::Snapshot& snapshot,
            std::size_t offset, T failure) {
  const std::byte* process = ProcessOr(error, handle, snapshot);
  if (!process) return failure;
  error.SetError(zel::code::kSuccess);
  return Load<T>(process, offset);
}

int ReadTime(CZelError& error, void* handle, const zel::records::Snapshot& snapshot,
             std::size_t offset, _FILETIME& time) {
  const std::byte* process = ProcessOr(error, handle, snapshot);
  if (!process) return 0;
  // The caller's record has the platform's layout, whose fields a Windows
  // build knows only from <windows.h>.
  zel::layout::Store(&time, 0, zel::layout::AsFileTime(Load<std::uint64_t>(process, offset)));
  error.SetError(zel::code::kSuccess);
  return 1;
}

}  // namespace

CZelString CZelProcess::GetName(void* hProcess) {
  const std::byte* process =
      ProcessOr(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) return CZelString();
  m_Error.SetError(zel::code::kSuccess);
  return zel::records::ReadName(process);
}

unsigned int CZelProcess::GetProcessID(void* hProcess) {
  // The ID is the low half of the platform's pointer-sized field.
  return ReadValue<std::uint32_t>(m_Error, hProcess,
                                  zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                                  ZEL_OFFSET(SystemProcess, UniqueProcessId), kNoId);
}

unsigned int CZelProcess::GetParentProcess(void* hProcess) {
  return ReadValue<std::uint32_t>(m_Error, hProcess,
                                  zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                                  ZEL_OFFSET(SystemProcess, InheritedFromUniqueProcessId), kNoId);
}

long CZelProcess::GetBasePriority(void* hProcess) {
  return ReadValue<std::int32_t>(m_Error, hProcess,
                                 zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                                 ZEL_OFFSET(SystemProcess, BasePriority), -1);
}

unsigned int CZelProcess::GetThreadCount(void* hProcess) {
  const std::byte* process =
      ProcessOr(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  return process ? zel::records::ThreadCount(process) : kNoId;
}

int CZelProcess::GetCreateTime(void* hProcess, _FILETIME& ftCreate) {
  return ReadTime(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                  ZEL_OFFSET(SystemProcess, CreateTime), ftCreate);
}

int CZelProcess::GetUserTime(void* hProcess, _FILETIME& ftUser) {
  return ReadTime(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                  ZEL_OFFSET(SystemProcess, UserTime), ftUser);
}

int CZelProcess::GetKernelTime(void* hProcess, _FILETIME& ftKernel) {
  return ReadTime(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                  ZEL_OFFSET(SystemProcess, KernelTime), ftKernel);
}

int CZelProcess::GetMemoryCounters(void* hProcess, _VM_COUNTERS& vmCounters) {
  const std::byte* process =
      ProcessOr(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                zel::code::kInvalidHandle);
  if (!process) return 0;
  std::memcpy(&vmCounters, process + ZEL_OFFSET(SystemProcess, Vm),
              sizeof(zel::layout::VmCounters));
  return 1;
}

int CZelProcess::GetIOCounters(void* hProcess, _IO_COUNTERS& ioCounters) {
  const std::byte* process =
      ProcessOr(m_Error, hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses),
                zel::code::kInvalidHandle);
  if (!process) return 0;
  if (!zel::source::HasIoCounters(process)) {
    m_Error.SetError(zel::code::kAccessDenied);
    return 0;
  }
  zel::layout::Store(&ioCounters, 0,
                     Load<zel::layout::IoCounters>(process, ZEL_OFFSET(SystemProcess, Io)));
  return 1;
}
