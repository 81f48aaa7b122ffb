// The Linux source over the machine's own /proc. What has no Linux
// counterpart is not invented: there is no PEB, no TEB and no process handle
// to lend, and no windows.
#include "../source.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "../account_names.h"
#include "../environment_copies.h"
#include "../codes.h"
#include "proc_files.h"
#include "proc_live.h"
#include "proc_parsers.h"
#include "process_records.h"
#include "unix_accounts.h"

namespace zel::procfs {
namespace {

const ProcReader& MachineReader() {
  static const ProcReader reader("/proc");
  return reader;
}

// The boot time is read once: the kernel derives it from the wall clock, so a
// later read may differ by a second, and creation times must stay the same
// from one snapshot to the next. Without one, times count from 1970.
const ProcClock& MachineClock() {
  static const ProcClock clock = [] {
    const long ticks = sysconf(_SC_CLK_TCK);
    const ProcText stat = MachineReader().ReadFile("stat");
    return ProcClock{stat.ok() ? ParseBootTime(stat.text).value_or(0) : 0,
                     ticks > 0 ? static_cast<std::uint64_t>(ticks) : 100};
  }();
  return clock;
}

}  // namespace
}  // namespace zel::procfs

namespace zel::source {
namespace {

ZelNtStatus ZEL_NTAPI QuerySystemInformation(int information_class, void* buffer, ZelUlong size,
                                             ZelUlong* needed) {
  if (information_class != kSystemProcessInformation)
    return static_cast<ZelNtStatus>(code::kStatusNotSupported);
  return static_cast<ZelNtStatus>(procfs::QueryProcesses(
      procfs::MachineReader(), procfs::MachineClock(), buffer, size, needed));
}

ZelNtStatus ZEL_NTAPI QueryInformationUnsupported(void*, int, void*, ZelUlong, ZelUlong*) {
  return static_cast<ZelNtStatus>(code::kStatusNotSupported);
}

}  // namespace

bool ResolveEntryPoints(const EntryPoints& entryPoints, ZelCode&) {
  entryPoints.querySystem = QuerySystemInformation;
  entryPoints.queryProcess = QueryInformationUnsupported;
  entryPoints.queryThread = QueryInformationUnsupported;
  return true;
}

bool HasIoCounters(const std::byte* process) {
  return (layout::Load<std::uint32_t>(process, ZEL_OFFSET(SystemProcess, SourceMarks)) &
          layout::kIoCountersUnknown) == 0;
}

void* OpenForRead(const Caller& caller, const Process&) {
  caller.error.SetError(code::kNotSupported);
  return nullptr;
}

int ReadPeb(const Caller& caller, const Process&, _PEB*) {
  caller.error.SetError(code::kNotSupported);
  return 0;
}

int ReadThreadBlock(const Caller& caller, const Thread&, _TEB*) {
  caller.error.SetError(code::kNotSupported);
  return 0;
}

HWND FindMainWindow(const Caller&, const Process&) { return nullptr; }

int ReadBasicInformation(const Caller& caller, const Process& process,
                         _PROCESS_BASIC_INFORMATION* info) {
  const procfs::LiveBasics live =
      procfs::ReadLiveBasics(procfs::MachineReader(), procfs::MachineClock(), process);
  if (live.code != code::kSuccess) {
    caller.error.SetError(live.code);
    return 0;
  }
  if (!IsWritable(info, sizeof live.info)) {
    caller.error.SetError(code::kInvalidParameter);
    return 0;
  }
  std::memcpy(static_cast<void*>(info), &live.info, sizeof live.info);
  caller.error.SetError(code::kSuccess);
  return 1;
}

CZelString ReadString(const Caller& caller, const Process& process, unsigned type) {
  const procfs::LiveText live =
      procfs::ReadLiveText(procfs::MachineReader(), procfs::MachineClock(), process, type);
  try {
    CZelString text = CZelString::FromUtf8(live.text);
    caller.error.SetError(live.code);
    return text;
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return CZelString();
  }
}

unsigned char* ReadEnvironment(const Caller& caller, const Process& process) {
  const procfs::LiveText live =
      procfs::ReadLiveEnvironment(procfs::MachineReader(), procfs::MachineClock(), process);
  if (live.code != code::kSuccess) {
    caller.error.SetError(live.code);
    return nullptr;
  }
  CZelString block;
  try {
    block = CZelString::FromUtf8(live.text);
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  EnvironmentBuffer buffer = NewEnvironmentBuffer();
  if (!buffer) {
    caller.error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  // The first bytes of the block, as a copy of a Windows block's first bytes
  // would hold them; a shorter block is followed by zeros.
  const unsigned short* units = block;
  const std::size_t bytes =
      std::min(block.GetLength() * sizeof(unsigned short), layout::kEnvironmentReadSize);
  std::memcpy(buffer.get(), units, bytes);
  std::memset(buffer.get() + bytes, 0, layout::kEnvironmentReadSize - bytes);
  caller.error.SetError(code::kSuccess);
  return buffer.release();
}

unsigned char* ReadEnvironmentBlock(const Caller& caller, const Process& process,
                                    std::size_t& size) {
  const procfs::LiveText live =
      procfs::ReadLiveEnvironment(procfs::MachineReader(), procfs::MachineClock(), process);
  if (live.code != code::kSuccess) {
    caller.error.SetError(live.code);
    return nullptr;
  }
  try {
    const CZelString block = CZelString::FromUtf8(live.text);
    BlockCopy copy = CopyBlock(block, block.GetLength());
    if (copy.buffer) {
      caller.error.SetError(copy.cut ? code::kMoreData : code::kSuccess);
      size = copy.size;
      return copy.buffer.release();
    }
  } catch (const std::bad_alloc&) {
  }
  caller.error.SetError(code::kOutOfMemory);
  return nullptr;
}

int ReadOwner(const Caller& caller, const Process& process, AccountNames& names, CZelString& user,
              CZelString& domain) {
  const procfs::LiveOwner live =
      procfs::ReadLiveOwner(procfs::MachineReader(), procfs::MachineClock(), process);
  if (live.code != code::kSuccess) {
    caller.error.SetError(live.code);
    return 0;
  }
  const std::string_view key(reinterpret_cast<const char*>(&live.uid), sizeof live.uid);
  return GiveNamesOf(caller.error, names, key, user, domain, [&] {
    return std::optional<AccountNames::Names>({CZelString::FromUtf8(procfs::UserNameOf(live.uid)),
                                               CZelString::FromUtf8(procfs::HostName())});
  });
}

bool ReadModules(const Caller& caller, const Process& process, ModuleList& list) {
  procfs::LiveModules live =
      procfs::ReadLiveModules(procfs::MachineReader(), procfs::MachineClock(), process);
  if (live.code != code::kSuccess) {
    caller.error.SetError(live.code);
    return false;
  }
  for (procfs::MappedFile& file : live.modules) {
    const CZelString path = CZelString::FromUtf8(file.path);
    const CZelString name = CZelString::FromUtf8(procfs::FileNameOf(file.path));
    if (!list.Fits(path.GetLength() + name.GetLength())) break;
    const auto units = [](const CZelString& text) {
      return reinterpret_cast<const char16_t*>(static_cast<const unsigned short*>(text));
    };
    list.Add({std::u16string(units(name), name.GetLength()),
              std::u16string(units(path), path.GetLength()), file.start, file.end - file.start});
  }
  if (live.cut) list.MarkCut();
  return true;
}

}  // namespace zel::source
