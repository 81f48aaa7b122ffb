// Opening a live process and reading its basic information and PEB.
#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {

void* OpenForRead(const Caller&, const Process& process) {
  return windows::OpenSnapshotProcess(windows::kReadAccess, process);
}

int ReadBasicInformation(const Caller& caller, const Process& process,
                         _PROCESS_BASIC_INFORMATION* info) {
  const os::UniqueHandle live(OpenForRead(caller, process));
  if (!live) {
    caller.error.SetError(code::kAccessDenied);
    return 0;
  }
  if (os::IsBadWritePtr(info, sizeof(layout::ProcessBasicInformation))) {
    caller.error.SetError(code::kInvalidParameter);
    return 0;
  }
  ZelUlong returned = 0;
  const auto status =
      static_cast<ZelCode>(caller.queryProcess(live.Get(), os::kProcessBasicInformation, info,
                                               sizeof(layout::ProcessBasicInformation), &returned));
  if (status == code::kStatusSuccess && returned != 0) {
    caller.error.SetError(code::kSuccess);
    return 1;
  }
  caller.error.SetError(status);
  return 0;
}

int ReadPeb(const Caller& caller, const Process& process, _PEB* peb) {
  layout::ProcessBasicInformation info{};
  std::uint64_t peb_address = layout::kFallbackPebAddress;
  const bool queried =
      ReadBasicInformation(caller, process, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info));
  if (queried) peb_address = info.PebBaseAddress;
  const os::UniqueHandle live(OpenForRead(caller, process));
  if (windows::ReadRemote(live.Get(), peb_address, peb, layout::kPebReadSize)) return 1;
  // After a successful query the holder says 0; a process that has ended but
  // is still held opens and answers the query, yet has no memory to read, and
  // that must not read as success.
  if (queried) caller.error.SetError(os::GetLastError());
  return 0;
}

}  // namespace zel::source
