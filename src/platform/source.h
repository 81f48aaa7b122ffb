// What each target supplies beneath the portable core. The core checks the
// caller's handle and takes the target out of the snapshot record it stands
// on; a source resolves the entry points that take the snapshot, opens the
// live process (or thread), reads what is asked, closes what it opened, and
// records the outcome as the operation's own code.
//
// windows/ implements these with the platform's calls; linux/ reads /proc.
// The Windows source also builds natively over the test double of the Windows
// calls in tests/fake_windows, for the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZelError.h"
#include "ZelProcess.h"
#include "ZelString.h"
#include "module_list.h"

namespace zel {
class AccountNames;
}

namespace zel::source {

// The information class of the system's processes and threads: the snapshot,
// written in the record format of snapshot_records.h. Both sources serve it
// through an entry point shaped as NtQuerySystemInformation, since the
// object's protected members (the entry point, ReadProcesses) fix that shape.
inline constexpr int kSystemProcessInformation = 5;

// The object an operation runs for: where its outcome goes, and the native
// entry points it resolved.
struct Caller {
  CZelError& error;
  ZEL_PFN_NTQUERYINFORMATIONPROCESS queryProcess;
  ZEL_PFN_NTQUERYINFORMATIONTHREAD queryThread;
};

// A process or thread as the snapshot recorded it. The creation time tells
// the live one from a later one that has taken its ID.
struct Process {
  std::uint32_t id;
  std::uint64_t createTime;
};
struct Thread {
  std::uint32_t id;
  std::uint64_t createTime;
  Process process;
};

// The three entry points of a process object, each stored as soon as it is
// found. False at the first one missing; `why` then holds the platform's code.
struct EntryPoints {
  ZEL_PFN_NTQUERYSYSTEMINFORMATION& querySystem;
  ZEL_PFN_NTQUERYINFORMATIONPROCESS& queryProcess;
  ZEL_PFN_NTQUERYINFORMATIONTHREAD& queryThread;
};
bool ResolveEntryPoints(const EntryPoints& entryPoints, ZelCode& why);

// Whether the snapshot record `process`, which this source's snapshot query
// wrote, holds the process's I/O counters: the caller may lack the rights
// to read them.
bool HasIoCounters(const std::byte* process);

// Whether `size` bytes of the caller's memory at `p` can be written; null
// never can. Only output records that the host owns are probed: handles and
// environment copies are the library's own, and known without a probe.
bool IsWritable(void* p, std::size_t size);

// The operations below take a target whose handle passed the check.

// A platform handle on the process for query and read, or null; records
// nothing where the platform has such handles.
void* OpenForRead(const Caller& caller, const Process& process);
// The process's basic information into the caller's record; 1 or 0.
int ReadBasicInformation(const Caller& caller, const Process& process,
                         _PROCESS_BASIC_INFORMATION* info);
// The first bytes of the process's environment block (PEB); nonzero when read.
int ReadPeb(const Caller& caller, const Process& process, _PEB* peb);
// One string of the process's parameters; empty on failure. `type` is one
// of ZELPI_TYPE's values: the core refuses any other number first.
CZelString ReadString(const Caller& caller, const Process& process, unsigned type);
// A new copy of the first bytes of the process's environment, or null.
unsigned char* ReadEnvironment(const Caller& caller, const Process& process);
// A new copy of the process's whole environment block, with its size in
// bytes written into `size`, or null (`size` as it was). Records 0, or
// ERROR_MORE_DATA when the block did not end within the limit of
// environment_copies.h and was cut.
unsigned char* ReadEnvironmentBlock(const Caller& caller, const Process& process,
                                    std::size_t& size);
// The account that owns the process and its domain; 1, or 0 with both
// strings left as they came (empty). The account's names are looked up once
// per object and snapshot: `names` keeps them.
int ReadOwner(const Caller& caller, const Process& process, AccountNames& names, CZelString& user,
              CZelString& domain);
// The first top-level window of the process, or null.
HWND FindMainWindow(const Caller& caller, const Process& process);
// The thread's environment block (TEB) into the caller's buffer; 1 or 0.
int ReadThreadBlock(const Caller& caller, const Thread& thread, _TEB* teb);

// The modules the process has loaded, the executable first, into `list`
// (empty when it comes), within the list's bounds; true, or false with the
// code recorded and the list in any state. No code is recorded on success.
bool ReadModules(const Caller& caller, const Process& process, ModuleList& list);

}  // namespace zel::source
