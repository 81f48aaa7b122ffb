#include "proc_live.h"

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>

#include "../codes.h"
#include "proc_files.h"
#include "windows_quoting.h"

namespace zel::procfs {
namespace {

// What a zombie's wait status says, as a shell reports it: the exit code, or
// 128 and the signal that ended it.
std::int32_t ExitStatusOf(std::int64_t wait_status) {
  const auto status = static_cast<int>(wait_status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// The path of a file of the process, in its own entry or, for a thread
// other than 0, in that thread's.
std::string FileOf(const source::Process& process, std::uint32_t thread, std::string_view file) {
  return thread == 0 ? PathOf(process.id, file) : ThreadPathOf(process.id, thread, file);
}

// Where the stat of the look is read into: one buffer a thread, kept, since
// every live read reads a stat.
std::string& StatText() {
  thread_local std::string text;
  return text;
}

// A thread of the process other than its main one that still runs, or 0;
// the errno of a read that failed otherwise than for the thread's end goes
// to `error`.
std::uint32_t RunningThread(const ProcReader& reader, std::uint32_t id, int& error) {
  const ProcListing tasks = reader.List(PathOf(id, "task"));
  if (!tasks.ok()) {
    error = MeansGone(tasks.error) ? 0 : tasks.error;
    return 0;
  }
  std::string& text = StatText();
  for (const std::string& name : tasks.names) {
    const std::optional<std::uint32_t> thread = ParseId(name);
    if (!thread || *thread == id) continue;
    if (const int failed = reader.Read(ThreadPathOf(id, *thread, "stat"), text); failed != 0) {
      if (MeansGone(failed)) continue;
      error = failed;
      return 0;
    }
    const std::optional<StatStart> stat = ParseStatStart(text);
    if (stat && !HasEnded(stat->state)) return *thread;
  }
  return 0;
}

// Reads a fact with `read(thread)` (0: from the process's own entry), then
// looks at the process: one that is still the snapshot's after the read was
// so during it. When a running thread answers for the process, the fact is
// read again from that thread's entry, and looked at again.
template <class Read>
Look ReadThenLook(const ProcReader& reader, const ProcClock& clock, const source::Process& process,
                  Read read) {
  read(std::uint32_t{0});
  Look look = LookAt(reader, clock, process);
  if (look.presence == Presence::Running && look.thread != 0) {
    read(look.thread);
    look = LookAt(reader, clock, process);
  }
  return look;
}

// What a read saw: the look after it, and the errno of the fact's own file.
Seen SeenBy(const Look& look, int read_error = 0) {
  return {look.presence, look.error, read_error, true, look.kernelThread};
}

// Takes the kernel's " (deleted)" mark off a path when no file of the marked
// name exists.
void DropDeletedMark(std::string& path) {
  const std::string_view unmarked = WithoutDeletedMark(path);
  struct stat ignored;
  if (unmarked.size() != path.size() && ::stat(path.c_str(), &ignored) != 0)
    path.resize(unmarked.size());
}

}  // namespace

Look LookAt(const ProcReader& reader, const ProcClock& clock, const source::Process& process,
            StatFields* whole) {
  Look look;
  std::string& text = StatText();
  if (const int error = reader.Read(PathOf(process.id, "stat"), text); error != 0) {
    if (!MeansGone(error)) {
      look.presence = Presence::Unreadable;
      look.error = error;
    }
    return look;
  }
  const std::optional<StatStart> stat = ParseStatStart(text);
  if (!stat ||
      FileTimeOfStart(clock.bootTime, stat->startTicks, clock.ticksPerSecond) != process.createTime)
    return look;
  if (whole) {
    const std::optional<StatFields> fields = ParseStat(text);
    if (!fields) return look;
    *whole = *fields;
  }
  if ((stat->flags & kKernelThreadFlag) != 0) {
    look.presence = Presence::Memoryless;
    look.kernelThread = true;
  } else if (!HasEnded(stat->state)) {
    look.presence = Presence::Running;
  } else {
    int error = 0;
    look.thread = RunningThread(reader, process.id, error);
    look.presence = error != 0         ? Presence::Unreadable
                    : look.thread != 0 ? Presence::Running
                                       : Presence::Memoryless;
    look.error = error;
  }
  return look;
}

ProcText LinkedPath(const ProcReader& reader, const std::string& path) {
  ProcText link = reader.ReadLink(path);
  if (link.ok()) DropDeletedMark(link.text);
  return link;
}

LiveText ReadLiveText(const ProcReader& reader, const ProcClock& clock,
                      const source::Process& process, unsigned type) {
  ProcText read;
  const Look look = ReadThenLook(reader, clock, process, [&](std::uint32_t thread) {
    switch (type) {
      case ZELPI_IMAGEFILE: read = LinkedPath(reader, FileOf(process, thread, "exe")); break;
      case ZELPI_CURRENTDIRECTORY: read = LinkedPath(reader, FileOf(process, thread, "cwd")); break;
      case ZELPI_COMMANDLINE: read = reader.ReadFile(FileOf(process, thread, "cmdline")); break;
      default: break;
    }
  });
  LiveText live;
  live.code = CodeOf(LiveFact::String, SeenBy(look, read.error));
  if (live.code != code::kSuccess) return live;
  live.text = type == ZELPI_COMMANDLINE ? QuoteCommandLine(SplitNulSeparated(read.text))
                                        : std::move(read.text);
  return live;
}

LiveText ReadLiveEnvironment(const ProcReader& reader, const ProcClock& clock,
                             const source::Process& process) {
  ProcText read;
  const Look look = ReadThenLook(reader, clock, process, [&](std::uint32_t thread) {
    read = reader.ReadFile(FileOf(process, thread, "environ"));
  });
  LiveText live;
  live.code = CodeOf(LiveFact::Environment, SeenBy(look, read.error));
  if (live.code == code::kSuccess) live.text = EnvironmentBlock(SplitNulSeparated(read.text));
  return live;
}

LiveOwner ReadLiveOwner(const ProcReader& reader, const ProcClock& clock,
                        const source::Process& process) {
  LiveOwner live;
  // The process that the kernel's record named is the snapshot's when the
  // look after it finds the snapshot's: one that took the ID later could not
  // have had it before.
  if (const std::optional<std::uint32_t> uid = reader.RealUidOf(process.id)) {
    live.code = CodeOf(LiveFact::Owner, SeenBy(LookAt(reader, clock, process)));
    live.uid = *uid;
    return live;
  }
  const ProcText read = reader.ReadFile(PathOf(process.id, "status"));
  Seen seen = SeenBy(LookAt(reader, clock, process), read.error);
  const std::optional<std::uint32_t> uid = read.ok() ? ParseRealUid(read.text) : std::nullopt;
  seen.answered = uid.has_value();
  live.code = CodeOf(LiveFact::Owner, seen);
  live.uid = uid.value_or(0);
  return live;
}

LiveBasics ReadLiveBasics(const ProcReader& reader, const ProcClock& clock,
                          const source::Process& process) {
  LiveBasics live;
  StatFields stat;
  const Look look = LookAt(reader, clock, process, &stat);
  live.code = CodeOf(LiveFact::BasicInformation, SeenBy(look));
  if (live.code != code::kSuccess) return live;
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(static_cast<pid_t>(process.id), sizeof cpus, &cpus) == 0) {
    for (int cpu = 0; cpu < 64; ++cpu)
      if (CPU_ISSET(cpu, &cpus)) live.info.AffinityMask |= std::uint64_t{1} << cpu;
  }
  const bool ended = look.presence == Presence::Memoryless && HasEnded(stat.state);
  live.info.ExitStatus = ended ? ExitStatusOf(stat.exitCode) : code::kStillActive;
  live.info.BasePriority = BasePriorityOf(stat.nice, stat.policy);
  live.info.UniqueProcessId = process.id;
  live.info.InheritedFromUniqueProcessId = stat.parentPid;
  return live;
}

LiveModules ReadLiveModules(const ProcReader& reader, const ProcClock& clock,
                            const source::Process& process) {
  ExecutableFileScan scan;
  int mapsError = 0;
  ProcText exe;
  const Look look = ReadThenLook(reader, clock, process, [&](std::uint32_t thread) {
    scan = {};
    mapsError = reader.ReadRecords(FileOf(process, thread, "maps"),
                                   [&](std::string_view line) { scan.Add(line); });
    if (mapsError == 0) exe = reader.ReadLink(FileOf(process, thread, "exe"));
  });
  LiveModules live;
  live.code = CodeOf(LiveFact::Modules, SeenBy(look, mapsError));
  if (live.code != code::kSuccess || look.kernelThread) return live;
  live.modules = scan.Files();
  live.cut = scan.Cut();
  // maps and the exe link name a file alike, mark and all. Without the link
  // the executable is not known, and the modules stay in address order.
  if (exe.ok()) {
    std::stable_partition(live.modules.begin(), live.modules.end(),
                          [&](const MappedFile& file) { return file.path == exe.text; });
  }
  for (MappedFile& file : live.modules) DropDeletedMark(file.path);
  return live;
}

}  // namespace zel::procfs
