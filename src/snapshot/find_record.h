// Making, checking and releasing the records behind the library's handles.
#pragma once

#include <new>
#include <utility>

#include "../platform/codes.h"
#include "../platform/module_list.h"
#include "../platform/snapshot_records.h"
#include "handle_record.h"
#include "ZelString.h"
#include "record_pool.h"
#include "records.h"
#include "ZelError.h"

namespace zel::records {

using layout::ZELFIND_RECORD;

// A new record: the handle's ownership passes to the host until CloseHandle.
// Throws std::bad_alloc.
inline ZELFIND_RECORD* NewRecord(const ZELFIND_RECORD& init) { return AllocateRecord(init); }

// A process handle on `process`, a record of the snapshot numbered `serial`.
inline ZELFIND_RECORD ProcessRecord(const std::byte* process, std::uint32_t serial) {
  ZELFIND_RECORD r{};
  r.cbSize = layout::kFindRecordSize;
  r.pProcess = process;
  r.pFilter = nullptr;
  r.bKind = layout::ZELFIND_PROCESS;
  r.nSnapshot = serial;
  return r;
}

// Releases a record of any kind with what it owns.
inline void DeleteRecord(ZELFIND_RECORD* record) {
  if (record->bKind == layout::ZELFIND_PROCESS) {
    delete record->pFilter;
    record->pFilter = nullptr;
  } else if (record->bKind == layout::ZELFIND_MODULE) {
    delete record->pModules;
    record->pModules = nullptr;
  }
  FreeRecord(record);
}

// A record of the library's own of a kind it knows, for the operations on
// any handle; null with ERROR_INVALID_PARAMETER (not a record) or
// ERROR_INVALID_HANDLE (an unknown kind) recorded.
inline ZELFIND_RECORD* KnownRecord(CZelError& error, void* handle) {
  ZELFIND_RECORD* record = ReadableRecord(handle);
  if (!record || !IsKnownKind(record->bKind)) {
    error.SetError(record ? code::kInvalidHandle : code::kInvalidParameter);
    return nullptr;
  }
  return record;
}

// A handle of `kind` (a thread or module walk) on the process of the process
// handle `process`, at its first entry.
inline ZELFIND_RECORD WalkRecord(const ZELFIND_RECORD& process, std::uint8_t kind) {
  ZELFIND_RECORD r{};
  r.cbSize = layout::kFindRecordSize;
  r.pProcess = process.pProcess;
  r.bKind = kind;
  r.nSnapshot = process.nSnapshot;
  return r;
}

// Makes a handle with `make`, which gives the new record, or null with its
// code recorded; a record made before std::bad_alloc is released, and
// ERROR_OUTOFMEMORY recorded. Records 0 with the handle.
template <class Make>
ZELFIND_RECORD* MakeHandle(CZelError& error, Make make) {
  ZELFIND_RECORD* made = nullptr;
  try {
    if (!make(made)) return nullptr;
  } catch (const std::bad_alloc&) {
    if (made) DeleteRecord(made);
    error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  error.SetError(code::kSuccess);
  return made;
}

}  // namespace zel::records
