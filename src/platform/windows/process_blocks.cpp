// Opening a live process and reading its basic information and PEB.
#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {
namespace {

bool Answered(ZelCode status, ZelUlong returned) {
  return status == code::kStatusSuccess && returned != 0;
}

// The basic information into `info`, and with `wow64` the process's WoW64
// answer (0 for a 64-bit process), both through `live`; 1, or 0 with the
// first failure recorded.
int QueryOpen(const Caller& caller, os::HANDLE live, void* info, layout::Wow64Information* wow64) {
  ZelUlong returned = 0;
  auto status =
      static_cast<ZelCode>(caller.queryProcess(live, os::kProcessBasicInformation, info,
                                               sizeof(layout::ProcessBasicInformation), &returned));
  if (Answered(status, returned) && wow64) {
    returned = 0;
    status = static_cast<ZelCode>(
        caller.queryProcess(live, os::kProcessWow64Information, wow64, sizeof *wow64, &returned));
  }
  if (Answered(status, returned)) {
    caller.error.SetError(code::kSuccess);
    return 1;
  }
  caller.error.SetError(status);
  return 0;
}

// QueryOpen through a handle of its own, into the caller's `info`.
int QueryProcess(const Caller& caller, const Process& process, _PROCESS_BASIC_INFORMATION* info,
                 layout::Wow64Information* wow64) {
  const os::UniqueHandle live(OpenForRead(caller, process));
  if (!live) {
    caller.error.SetError(code::kAccessDenied);
    return 0;
  }
  if (os::IsBadWritePtr(info, sizeof(layout::ProcessBasicInformation))) {
    caller.error.SetError(code::kInvalidParameter);
    return 0;
  }
  return QueryOpen(caller, live.Get(), info, wow64);
}

// Where the PEB of the process's own kind lies, from the queries' answers:
// the 32-bit one where the WoW64 answer is nonzero.
std::uint64_t PebAddress(const layout::ProcessBasicInformation& info,
                         layout::Wow64Information wow64) {
  if (wow64 == 0) return info.PebBaseAddress;
  if (wow64 % layout::kPageSize == 0) return wow64;
  return info.PebBaseAddress + layout::kPeb32AfterPeb64;
}

// The PEB image at `address` through `live`: 1, or 0 with the read's last
// error. A process that has ended but is still held opens and answers the
// queries, yet has no memory to read, and that must not read as success.
int ReadPebAt(const Caller& caller, os::HANDLE live, std::uint64_t address, void* peb,
              std::size_t size) {
  if (windows::ReadRemote(live, address, peb, size)) return 1;
  caller.error.SetError(os::GetLastError());
  return 0;
}

// The PEB image at the address that the queries give; with `kind`, that of
// the process's own kind. Without their answer its address is not known, and
// nothing is read.
int ReadPebImage(const Caller& caller, const Process& process, void* peb,
                 windows::BlockKind* kind) {
  layout::ProcessBasicInformation info{};
  layout::Wow64Information wow64 = 0;
  if (!QueryProcess(caller, process, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info),
                    kind ? &wow64 : nullptr))
    return 0;
  if (kind) *kind = wow64 != 0 ? windows::BlockKind::Wow64 : windows::BlockKind::Native;
  const os::UniqueHandle live(OpenForRead(caller, process));
  return ReadPebAt(caller, live.Get(), PebAddress(info, wow64), peb, layout::kPebReadSize);
}

}  // namespace

void* OpenForRead(const Caller&, const Process& process) {
  return windows::OpenSnapshotProcess(windows::kReadAccess, process);
}

int ReadBasicInformation(const Caller& caller, const Process& process,
                         _PROCESS_BASIC_INFORMATION* info) {
  return QueryProcess(caller, process, info, nullptr);
}

int ReadPeb(const Caller& caller, const Process& process, _PEB* peb) {
  return ReadPebImage(caller, process, peb, nullptr);
}

}  // namespace zel::source

namespace zel::windows {

int ReadOwnPeb(const source::Caller& caller, const source::Process& process, PebImage& peb,
               BlockKind& kind) {
  return source::ReadPebImage(caller, process, peb.data(), &kind);
}

int ReadOwnPeb(const source::Caller& caller, os::HANDLE live, PebImage& peb, BlockKind& kind) {
  layout::ProcessBasicInformation info{};
  layout::Wow64Information wow64 = 0;
  if (!source::QueryOpen(caller, live, &info, &wow64)) return 0;
  kind = wow64 != 0 ? BlockKind::Wow64 : BlockKind::Native;
  return source::ReadPebAt(caller, live, source::PebAddress(info, wow64), peb.data(), peb.size());
}

}  // namespace zel::windows
