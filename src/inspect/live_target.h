// The live process or thread that a handle's snapshot record stands for.
#pragma once

#include "../platform/source.h"
#include "../snapshot/records.h"

namespace zel::inspect {

inline source::Process ProcessOf(const std::byte* process) {
  return {records::ProcessId(process),
          layout::Load<std::uint64_t>(process, ZEL_OFFSET(SystemProcess, CreateTime))};
}

inline source::Thread ThreadOf(const std::byte* process, const std::byte* thread) {
  return {records::ThreadId(thread),
          layout::Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, CreateTime)),
          ProcessOf(process)};
}

// What a live operation works with: where its outcome goes and the entry
// points of the object it runs for, and the snapshot its handle must point
// into.
struct LiveCall {
  source::Caller caller;
  records::Snapshot snapshot;

  // `read` of the process under a valid process handle; otherwise records
  // `bad_handle` and gives `failure`.
  template <class Result, class Read>
  Result OnProcess(void* handle, ZelCode bad_handle, Result failure, Read read) const {
    const auto* record =
        records::CheckedHandle(caller.error, handle, layout::ZELFIND_PROCESS, snapshot, bad_handle);
    return record ? read(ProcessOf(record->pProcess)) : failure;
  }
};

}  // namespace zel::inspect
