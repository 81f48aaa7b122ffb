// Reading the snapshot's records, and the check that decides whether a
// pointer a caller passes is one of the library's handles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../platform/codes.h"
#include "../platform/snapshot_records.h"
#include "ZelError.h"
#include "handle_record.h"
#include "record_pool.h"
#include "snapshot_buffer.h"

struct _SYSTEM_PROCESSES;

namespace zel::records {

using layout::Load;
using layout::ZELFIND_RECORD;

inline std::byte* Bytes(_SYSTEM_PROCESSES* records) {
  return reinterpret_cast<std::byte*>(records);
}

inline std::uint32_t NextEntryOffset(const std::byte* process) {
  return Load<std::uint32_t>(process, ZEL_OFFSET(SystemProcess, NextEntryOffset));
}

// The record after `process` in the chain, or null after the last.
template <class Byte>
Byte* Next(Byte* process) {
  const std::uint32_t delta = NextEntryOffset(process);
  return delta == 0 ? nullptr : process + delta;
}

inline std::uint32_t ProcessId(const std::byte* process) {
  return static_cast<std::uint32_t>(
      Load<std::uint64_t>(process, ZEL_OFFSET(SystemProcess, UniqueProcessId)));
}

inline std::uint32_t ThreadCount(const std::byte* process) {
  return Load<std::uint32_t>(process, ZEL_OFFSET(SystemProcess, NumberOfThreads));
}

inline std::uint32_t ThreadId(const std::byte* thread) {
  return static_cast<std::uint32_t>(
      Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, UniqueThread)));
}

inline const std::byte* ThreadAt(const std::byte* process, std::uint32_t index) {
  return process + sizeof(layout::SystemProcess) + index * sizeof(layout::SystemThread);
}

// Steps one and two of the handle check: a record that the library's pool
// handed out and has not taken back, whose size tag is 32; null otherwise.
// Whether it is one is told from where the pointer lies, so no memory of the
// host's is read or probed, and a copy of a record is no record.
inline ZELFIND_RECORD* ReadableRecord(void* handle) {
  ZELFIND_RECORD* record = LiveRecord(handle);
  return record && record->cbSize == layout::kFindRecordSize ? record : nullptr;
}

inline bool IsKnownKind(std::uint8_t kind) {
  return kind == layout::ZELFIND_PROCESS || kind == layout::ZELFIND_THREAD ||
         kind == layout::ZELFIND_MODULE;
}

// Steps one to three: a readable record of the expected kind, or null.
inline ZELFIND_RECORD* RecordOfKind(void* handle, std::uint8_t kind) {
  ZELFIND_RECORD* record = ReadableRecord(handle);
  return record && record->bKind == kind ? record : nullptr;
}

// The snapshot that an object holds, as the handle check sees it.
struct Snapshot {
  const std::byte* records = nullptr;
  std::size_t size = 0;
  std::uint32_t serial = 0;
};

inline Snapshot SnapshotOf(_SYSTEM_PROCESSES* records, std::size_t size) {
  const std::byte* bytes = Bytes(records);
  return {bytes, size, bytes ? snapshot::SerialOf(bytes) : 0};
}

// The whole check, for an operation that reads through the handle: a
// readable record of the expected kind, made in the snapshot the object now
// holds (or one it shares) and pointing into it; null otherwise. A handle
// into an older snapshot, or into another object's, would read memory that
// may have been released since.
inline ZELFIND_RECORD* AsHandle(void* handle, std::uint8_t kind, const Snapshot& snapshot) {
  ZELFIND_RECORD* record = RecordOfKind(handle, kind);
  if (!record || !snapshot.records || record->nSnapshot != snapshot.serial) return nullptr;
  const auto begin = reinterpret_cast<std::uintptr_t>(snapshot.records);
  const auto process = reinterpret_cast<std::uintptr_t>(record->pProcess);
  if (snapshot.size < sizeof(layout::SystemProcess) || process < begin ||
      process - begin > snapshot.size - sizeof(layout::SystemProcess))
    return nullptr;
  if (kind == layout::ZELFIND_THREAD) {
    const auto thread = reinterpret_cast<std::uintptr_t>(record->pThread);
    if (thread < process || thread - begin > snapshot.size) return nullptr;
  }
  return record;
}

// AsHandle for an operation that refuses a pointer that fails it: null then,
// with `refusal` recorded.
inline ZELFIND_RECORD* CheckedHandle(CZelError& error, void* handle, std::uint8_t kind,
                                     const Snapshot& snapshot,
                                     ZelCode refusal = code::kInvalidParameter) {
  ZELFIND_RECORD* record = AsHandle(handle, kind, snapshot);
  if (!record) error.SetError(refusal);
  return record;
}

}  // namespace zel::records
