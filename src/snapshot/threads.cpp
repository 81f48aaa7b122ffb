// The thread walk over the thread records of one process.
#include <new>

#include "../platform/codes.h"
#include "../inspect/live_target.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "find_record.h"
#include "records.h"

namespace {

using zel::layout::Load;
using zel::layout::ZELFIND_RECORD;
using zel::layout::ZELFIND_THREAD;

constexpr unsigned int kNoId = 0xFFFFFFFF;

// The current thread record under a valid thread handle. Records 87 for a bad
// handle, and 259 for a handle on a process without threads, whose slot holds
// no thread record; null then.
const std::byte* ThreadOr(CZelError& error, void* handle, const zel::records::Snapshot& snapshot) {
  const ZELFIND_RECORD* record =
      zel::records::CheckedHandle(error, handle, ZELFIND_THREAD, snapshot);
  if (!record) return nullptr;
  if (zel::records::ThreadCount(record->pProcess) == 0) {
    error.SetError(zel::code::kNoMoreItems);
    return nullptr;
  }
  return record->pThread;
}

// Steps to the next thread record; false on the last one.
bool StepThread(ZELFIND_RECORD& handle) {
  if (handle.nThreadIndex + 1 >= zel::records::ThreadCount(handle.pProcess)) return false;
  ++handle.nThreadIndex;
  handle.pThread = zel::records::ThreadAt(handle.pProcess, handle.nThreadIndex);
  return true;
}

}  // namespace

void* CZelProcess::FindFirstThread(void* hProcess) {
  const ZELFIND_RECORD* process =
      zel::records::CheckedHandle(m_Error, hProcess, zel::layout::ZELFIND_PROCESS,
                                  zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) return nullptr;
  ZELFIND_RECORD init = zel::records::WalkRecord(*process, ZELFIND_THREAD);
  init.pThread = zel::records::ThreadAt(process->pProcess, 0);
  // Unlike the other walks, a new thread handle leaves the last error as it was.
  try {
    return zel::records::NewRecord(init);
  } catch (const std::bad_alloc&) {
    m_Error.SetError(zel::code::kOutOfMemory);
    return nullptr;
  }
}

int CZelProcess::FindNextThread(void* hThread) {
  const zel::records::Snapshot snapshot = zel::records::SnapshotOf(m_pProcesses, m_cbProcesses);
  ZELFIND_RECORD* handle = zel::records::CheckedHandle(m_Error, hThread, ZELFIND_THREAD, snapshot);
  if (!handle) return 0;
  if (!StepThread(*handle)) {
    m_Error.SetError(zel::code::kNoMoreItems);
    return 0;
  }
  return 1;
}

unsigned int CZelProcess::GetThreadID(void* hThread) {
  const std::byte* thread =
      ThreadOr(m_Error, hThread, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  return thread ? zel::records::ThreadId(thread) : kNoId;
}

unsigned int CZelProcess::GetThreadParentProcess(void* hThread) {
  const std::byte* thread =
      ThreadOr(m_Error, hThread, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  return thread ? static_cast<std::uint32_t>(
                      Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, UniqueProcess)))
                : kNoId;
}

int CZelProcess::GetThreadCreateTime(void* hThread, _FILETIME& ftCreate) {
  const std::byte* thread =
      ThreadOr(m_Error, hThread, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!thread) return 0;
  zel::layout::Store(
      &ftCreate, 0,
      zel::layout::AsFileTime(Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, CreateTime))));
  m_Error.SetError(zel::code::kSuccess);
  return 1;
}

void* CZelProcess::CreateHandleFromTID(void* hProcess, unsigned int dwThreadId) {
  void* found = FindFirstThread(hProcess);
  if (!found) return nullptr;
  auto* handle = static_cast<ZELFIND_RECORD*>(found);
  if (zel::records::ThreadCount(handle->pProcess) != 0) {
    do {
      if (zel::records::ThreadId(handle->pThread) == dwThreadId) return found;
    } while (StepThread(*handle));
  }
  CloseHandle(found);
  m_Error.SetError(zel::code::kNoMoreItems);
  return nullptr;
}

int CZelProcess::GetTEB(void* hThread, _TEB* pTeb) {
  const std::byte* thread =
      ThreadOr(m_Error, hThread, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!thread) return 0;
  const auto* handle = static_cast<const ZELFIND_RECORD*>(hThread);
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadThreadBlock(caller, zel::inspect::ThreadOf(handle->pProcess, thread),
                                      pTeb);
}
