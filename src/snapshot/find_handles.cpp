// The process walk and the operations that serve handles of either kind.
#include <new>
#include <utility>

#include "../platform/codes.h"
#include "ZelProcess.h"
#include "find_record.h"
#include "process_name.h"
#include "records.h"

namespace {

using zel::layout::ZELFIND_RECORD;

bool NameMatches(const std::byte* process, const CZelString& pattern) {
  const CZelPathString name(zel::records::ReadName(process));
  return name.MatchSpec(pattern) != 0;
}

// Moves the handle to the next record that its pattern (if any) accepts.
// False at the end of the chain, where the handle then stands on the last
// record. Throws std::bad_alloc from the name test.
bool Advance(ZELFIND_RECORD& handle) {
  while (const std::byte* next = zel::records::Next(handle.pProcess)) {
    handle.pProcess = next;
    if (!handle.pFilter || NameMatches(next, *handle.pFilter)) return true;
  }
  return false;
}

const unsigned short kNoPattern[] = {0};

}  // namespace

void* CZelProcess::FindFirstProcess(CZelString strPattern) {
  const std::byte* first = zel::records::Bytes(m_pProcesses);
  if (!first) {
    m_Error.SetError(zel::code::kNotFound);
    return nullptr;
  }
  return zel::records::MakeHandle(m_Error, [&](ZELFIND_RECORD*& handle) {
    handle =
        zel::records::NewRecord(zel::records::ProcessRecord(first, zel::snapshot::SerialOf(first)));
    if (strPattern == kNoPattern) return true;
    handle->pFilter = new CZelString(strPattern);
    if (NameMatches(first, strPattern) || Advance(*handle)) return true;
    zel::records::DeleteRecord(std::exchange(handle, nullptr));
    m_Error.SetError(zel::code::kNotFound);
    return false;
  });
}

int CZelProcess::FindNextProcess(void* hFind) {
  ZELFIND_RECORD* handle =
      zel::records::CheckedHandle(m_Error, hFind, zel::layout::ZELFIND_PROCESS,
                                  zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!handle) return 0;
  const std::byte* const start = handle->pProcess;
  try {
    if (!Advance(*handle)) {
      m_Error.SetError(zel::code::kNoMoreItems);
      return 0;
    }
  } catch (const std::bad_alloc&) {
    // The record whose name could not be tested is tested again next time.
    handle->pProcess = start;
    m_Error.SetError(zel::code::kOutOfMemory);
    return 0;
  }
  m_Error.SetError(zel::code::kSuccess);
  return 1;
}

int CZelProcess::CloseHandle(void* hFind) {
  ZELFIND_RECORD* handle = zel::records::KnownRecord(m_Error, hFind);
  if (!handle) return 0;
  zel::records::DeleteRecord(handle);
  m_Error.SetError(zel::code::kSuccess);
  return 1;
}

void* CZelProcess::DuplicateHandle(void* hFind) {
  const ZELFIND_RECORD* source = zel::records::KnownRecord(m_Error, hFind);
  if (!source) return nullptr;
  return zel::records::MakeHandle(m_Error, [&](ZELFIND_RECORD*& copy) {
    ZELFIND_RECORD init = *source;
    const bool has_pattern = init.bKind == zel::layout::ZELFIND_PROCESS && init.pFilter;
    const bool has_modules = init.bKind == zel::layout::ZELFIND_MODULE;
    if (has_pattern || has_modules) init.pFilter = nullptr;
    copy = zel::records::NewRecord(init);
    if (has_pattern) copy->pFilter = new CZelString(*source->pFilter);
    if (has_modules) copy->pModules = new zel::source::ModuleList(*source->pModules);
    return true;
  });
}

int CZelProcess::IsProcessHandle(void* hFind) {
  const ZELFIND_RECORD* handle = zel::records::ReadableRecord(hFind);
  if (!handle) {
    m_Error.SetError(zel::code::kInvalidHandle);
    return 0;
  }
  if (!zel::records::IsKnownKind(handle->bKind)) {
    m_Error.SetError(zel::code::kUnknownProperty);
    return 0;
  }
  m_Error.SetError(zel::code::kSuccess);
  return handle->bKind == zel::layout::ZELFIND_PROCESS ? 1 : 0;
}

void* CZelProcess::CreateHandleFromPID(unsigned int dwProcessId) {
  // The chain is scanned in place; a handle is made only for the record found.
  const std::byte* found = zel::records::Bytes(GetProcess(dwProcessId));
  if (!found) {
    m_Error.SetError(zel::code::kNotFound);
    return nullptr;
  }
  try {
    void* handle = zel::records::NewRecord(zel::records::ProcessRecord(
        found, zel::snapshot::SerialOf(zel::records::Bytes(m_pProcesses))));
    m_Error.SetError(zel::code::kSuccess);
    return handle;
  } catch (const std::bad_alloc&) {
    m_Error.SetError(zel::code::kOutOfMemory);
    return nullptr;
  }
}
