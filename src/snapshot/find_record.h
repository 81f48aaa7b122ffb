// Making and releasing the records behind the library's handles.
#pragma once

#include "../platform/module_list.h"
#include "../platform/snapshot_records.h"
#include "handle_record.h"
#include "ZelString.h"
#include "record_pool.h"

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

}  // namespace zel::records
