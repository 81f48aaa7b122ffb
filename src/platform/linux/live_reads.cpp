#include "live_reads.h"

#include <sched.h>
#include <sys/wait.h>

#include "../codes.h"
#include "command_line.h"
#include "errno_codes.h"
#include "proc_files.h"
#include "utf16_text.h"
#include "windows_terms.h"

namespace zel::procfs {
namespace {

// The snapshot's process, running with memory of its own, or the code that
// a string read of it records (ERROR_ACCESS_DENIED, as for any process that
// cannot be opened or has no memory left to read).
ZelCode StringFailure(Presence presence) {
  return presence == Presence::Running ? code::kSuccess : code::kAccessDenied;
}

// What a zombie's wait status says, as a shell reports it: the exit code, or
// 128 and the signal that ended it.
std::int32_t ExitStatusOf(std::int64_t wait_status) {
  const auto status = static_cast<int>(wait_status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

Presence PresenceOf(const ProcReader& reader, const ProcClock& clock,
                    const source::Process& process, StatFields* stat_out) {
  const ProcText text = reader.ReadFile(PathOf(process.id, "stat"));
  const std::optional<StatFields> stat = text.ok() ? ParseStat(text.text) : std::nullopt;
  if (!stat ||
      FileTimeOfStart(clock.bootTime, stat->startTicks, clock.ticksPerSecond) != process.createTime)
    return Presence::Gone;
  if (stat_out) *stat_out = *stat;
  const bool kernel_thread = (stat->flags & kKernelThreadFlag) != 0;
  return kernel_thread || HasEnded(stat->state) ? Presence::Memoryless : Presence::Running;
}

LiveText ReadLiveText(const ProcReader& reader, const ProcClock& clock,
                      const source::Process& process, unsigned type) {
  ProcText read;
  switch (type) {
    case ZELPI_IMAGEFILE: read = LinkedPath(reader, PathOf(process.id, "exe")); break;
    case ZELPI_CURRENTDIRECTORY: read = LinkedPath(reader, PathOf(process.id, "cwd")); break;
    case ZELPI_COMMANDLINE: read = reader.ReadFile(PathOf(process.id, "cmdline")); break;
    default: break;
  }
  // Read before the look at stat: a process that is still the snapshot's
  // after the read was so during it.
  LiveText live;
  live.code = StringFailure(PresenceOf(reader, clock, process));
  if (live.code != code::kSuccess) return live;
  if (!read.ok()) {
    live.code = code::kAccessDenied;
    return live;
  }
  live.text = type == ZELPI_COMMANDLINE ? Utf16(QuoteCommandLine(SplitNulSeparated(read.text)))
                                        : Utf16(read.text);
  return live;
}

LiveText ReadLiveEnvironment(const ProcReader& reader, const ProcClock& clock,
                             const source::Process& process) {
  const ProcText read = reader.ReadFile(PathOf(process.id, "environ"));
  LiveText live;
  switch (PresenceOf(reader, clock, process)) {
    case Presence::Gone: live.code = code::kInvalidParameter; return live;
    case Presence::Memoryless: live.code = code::kAccessDenied; return live;
    case Presence::Running: break;
  }
  live.code = CodeOfErrno(read.error);
  if (read.ok()) live.text = EnvironmentBlock(SplitNulSeparated(read.text));
  return live;
}

LiveOwner ReadLiveOwner(const ProcReader& reader, const ProcClock& clock,
                        const source::Process& process) {
  const ProcText read = reader.ReadFile(PathOf(process.id, "status"));
  LiveOwner live;
  if (PresenceOf(reader, clock, process) == Presence::Gone || !read.ok()) {
    live.code = code::kAccessDenied;
    return live;
  }
  const std::optional<std::uint32_t> uid = ParseStatus(read.text).realUid;
  live.code = uid ? code::kSuccess : code::kNoToken;
  live.uid = uid.value_or(0);
  return live;
}

LiveBasics ReadLiveBasics(const ProcReader& reader, const ProcClock& clock,
                          const source::Process& process) {
  LiveBasics live;
  StatFields stat;
  const Presence presence = PresenceOf(reader, clock, process, &stat);
  if (presence == Presence::Gone) {
    live.code = code::kAccessDenied;
    return live;
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(static_cast<pid_t>(process.id), sizeof cpus, &cpus) == 0) {
    for (int cpu = 0; cpu < 64; ++cpu)
      if (CPU_ISSET(cpu, &cpus)) live.info.AffinityMask |= std::uint64_t{1} << cpu;
  }
  live.info.ExitStatus = HasEnded(stat.state) ? ExitStatusOf(stat.exitCode) : code::kStillActive;
  live.info.BasePriority = BasePriorityOf(stat.nice, stat.policy);
  live.info.UniqueProcessId = process.id;
  live.info.InheritedFromUniqueProcessId = stat.parentPid;
  return live;
}

}  // namespace zel::procfs
