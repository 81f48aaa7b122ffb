#include "process_reading.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "command_line.h"
#include "utf16_text.h"
#include "windows_terms.h"

namespace zel::emu::proc {
namespace {

bool MeansGone(int error) { return error == ENOENT || error == ESRCH; }

std::string In(std::uint32_t id, std::string_view file) {
  return std::to_string(id) + "/" + std::string(file);
}

std::string ImageNameOf(const ProcReader& reader, std::uint32_t id, const StatFields& stat,
                        bool hasAddressSpace) {
  if (hasAddressSpace) {
    if (const ProcText exe = reader.ReadLink(In(id, "exe")); exe.ok() && !exe.text.empty())
      return std::string(FileNameOf(WithoutDeletedMark(exe.text)));
    if (const ProcText cmdline = reader.ReadFile(In(id, "cmdline")); cmdline.ok()) {
      const auto arguments = SplitNulSeparated(cmdline.text);
      if (!arguments.empty() && !FileNameOf(arguments[0]).empty())
        return std::string(FileNameOf(arguments[0]));
    }
  }
  return stat.comm;
}

}  // namespace

std::string UnixUserSid(std::uint32_t uid) { return "S-1-22-1-" + std::to_string(uid); }

std::optional<ProcessRecord> ReadProcessRecord(const ProcReader& reader, std::uint32_t id,
                                               const ProcClock& clock) {
  const ProcText stat_text = reader.ReadFile(In(id, "stat"));
  if (!stat_text.ok()) return std::nullopt;
  const std::optional<StatFields> stat = ParseStat(stat_text.text);
  if (!stat) return std::nullopt;
  // status is readable by everyone; one that has gone takes the process along.
  const ProcText status_text = reader.ReadFile(In(id, "status"));
  if (!status_text.ok() && MeansGone(status_text.error)) return std::nullopt;
  const StatusFields status = ParseStatus(status_text.text);

  ProcessRecord record;
  record.hasAddressSpace =
      !(stat->flags & kKernelThreadFlag) && stat->state != 'Z' && stat->state != 'X';
  record.realUid = status.realUid;
  ProcessModel& p = record.model;
  p.id = id;
  p.parentId = stat->parentPid;
  p.name = Utf16(ImageNameOf(reader, id, *stat, record.hasAddressSpace));
  p.basePriority = BasePriorityOf(stat->nice, stat->policy);
  p.createTime = FileTimeOfStart(clock.bootTime, stat->startTicks, clock.ticksPerSecond);
  p.userTime = DurationFromTicks(stat->userTicks, clock.ticksPerSecond);
  p.kernelTime = DurationFromTicks(stat->systemTicks, clock.ticksPerSecond);
  p.vm = MemoryCountersOf(status, *stat);
  p.privatePageCount = PrivateBytesOf(status);
  if (status.realUid) p.ownerSid = UnixUserSid(*status.realUid);
  return record;
}

std::optional<std::vector<ThreadModel>> ReadThreads(const ProcReader& reader, std::uint32_t id,
                                                    const ProcClock& clock) {
  const ProcListing tasks = reader.List(In(id, "task"));
  if (!tasks.ok() && MeansGone(tasks.error)) return std::nullopt;
  std::vector<ThreadModel> threads;
  for (const std::string& name : tasks.names) {
    const std::optional<std::uint32_t> tid = ParseId(name);
    if (!tid) continue;
    const ProcText text = reader.ReadFile(In(id, "task/" + name + "/stat"));
    const std::optional<StatFields> stat = text.ok() ? ParseStat(text.text) : std::nullopt;
    if (!stat) continue;
    ThreadModel t;
    t.id = *tid;
    t.createTime = FileTimeOfStart(clock.bootTime, stat->startTicks, clock.ticksPerSecond);
    t.userTime = DurationFromTicks(stat->userTicks, clock.ticksPerSecond);
    t.kernelTime = DurationFromTicks(stat->systemTicks, clock.ticksPerSecond);
    t.priority = BasePriorityOf(stat->nice, stat->policy);
    threads.push_back(t);
  }
  std::sort(threads.begin(), threads.end(),
            [](const ThreadModel& a, const ThreadModel& b) { return a.id < b.id; });
  return threads;
}

void ReadCounters(const ProcReader& reader, std::uint32_t id, ProcessModel& process) {
  if (const ProcText io = reader.ReadFile(In(id, "io")); io.ok())
    process.io = IoCountersOf(ParseIo(io.text));
  if (const ProcListing fds = reader.List(In(id, "fd")); fds.ok())
    process.handleCount = static_cast<std::uint32_t>(fds.names.size());
}

LiveParameters ReadLiveParameters(const ProcReader& reader, std::uint32_t id) {
  using Access = LiveParameters::Access;
  LiveParameters live;
  // The environment is readable only by who may trace the process; that is
  // the test of whether its memory may be read at all.
  const ProcText environ = reader.ReadFile(In(id, "environ"));
  if (!environ.ok()) {
    live.access = MeansGone(environ.error) ? Access::Gone : Access::Denied;
    return live;
  }
  const ProcText cmdline = reader.ReadFile(In(id, "cmdline"));
  if (!cmdline.ok() && MeansGone(cmdline.error)) {
    live.access = Access::Gone;
    return live;
  }
  ProcessParametersModel& p = live.parameters;
  if (const ProcText exe = reader.ReadLink(In(id, "exe")); exe.ok())
    p.imagePath = Utf16(WithoutDeletedMark(exe.text));
  p.commandLine = Utf16(QuoteCommandLine(SplitNulSeparated(cmdline.text)));
  if (const ProcText cwd = reader.ReadLink(In(id, "cwd")); cwd.ok())
    p.currentDirectory = Utf16(WithoutDeletedMark(cwd.text));
  p.environment = EnvironmentBlock(SplitNulSeparated(environ.text));
  return live;
}

}  // namespace zel::emu::proc
