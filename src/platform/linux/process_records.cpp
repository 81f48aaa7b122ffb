#include "process_records.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "../codes.h"
#include "../snapshot_records.h"
#include "ZelString.h"
#include "failure_codes.h"
#include "proc_files.h"
#include "windows_terms.h"

namespace zel::procfs {
namespace {

constexpr std::size_t kRecordAlignment = alignof(std::uint64_t);
// The kernel keeps 15 characters of a command name.
constexpr std::size_t kCommandNameLimit = 15;
// What the size probe allows beyond the records themselves for each process's
// name, and for processes that start before the fill.
constexpr std::size_t kNameAllowance = 64;
constexpr std::size_t kGrowthAllowance = 4096;
// The most bytes a counted name can hold, in whole UTF-16 units.
constexpr std::size_t kMaxNameBytes = 0xFFFE;

std::size_t Aligned(std::size_t bytes) {
  return (bytes + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

// The IDs that the tree lists, sorted; the errno why not in `error`.
std::vector<std::uint32_t> ProcessIds(const ProcReader& reader, int& error) {
  const ProcListing listing = reader.List("");
  error = listing.error;
  std::vector<std::uint32_t> ids;
  for (const std::string& name : listing.names)
    if (const auto id = ParseId(name)) ids.push_back(*id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The threads of the whole system, the fourth field of loadavg ("1/234").
std::size_t ThreadsRunning(const ProcReader& reader, std::size_t fallback) {
  const ProcText loadavg = reader.ReadFile("loadavg");
  const std::size_t slash = loadavg.text.find('/');
  if (!loadavg.ok() || slash == std::string::npos) return fallback;
  const auto threads = ParseId(
      std::string_view(loadavg.text)
          .substr(slash + 1, loadavg.text.find_first_not_of("0123456789", slash + 1) - slash - 1));
  return threads ? std::max<std::size_t>(*threads, fallback) : fallback;
}

layout::SystemThread ThreadRecord(std::uint32_t process, std::uint32_t thread,
                                  const StatFields& stat, const ProcClock& clock) {
  layout::SystemThread record{};
  record.KernelTime = DurationFromTicks(stat.systemTicks, clock.ticksPerSecond);
  record.UserTime = DurationFromTicks(stat.userTicks, clock.ticksPerSecond);
  record.CreateTime = FileTimeOfStart(clock.bootTime, stat.startTicks, clock.ticksPerSecond);
  record.UniqueProcess = process;
  record.UniqueThread = thread;
  record.Priority = record.BasePriority = BasePriorityOf(stat.nice, stat.policy);
  return record;
}

// Appends the records of one process to `out`: its own, its threads', then
// its name. The name pointer holds the name's offset in `out` until the
// records are placed.
class RecordBuilder {
 public:
  RecordBuilder(const ProcReader& reader, const ProcClock& clock, std::vector<std::byte>& out)
      : reader_(reader), clock_(clock), out_(out) {}

  // 0 when the process's records were appended, or left out because it went
  // while it was read or its stat may not be read (its directory is another
  // user's to see); else the errno of the read that failed otherwise, which
  // no snapshot may hide. `out` is as it was unless appended.
  int Append(std::uint32_t id) {
    const std::size_t start = out_.size();
    const int error = Build(id, start);
    if (error == 0) return 0;
    out_.resize(start);
    return MeansGone(error) || MeansRefused(error) ? 0 : error;
  }

 private:
  int Build(std::uint32_t id, std::size_t start) {
    if (const int error = reader_.Read(PathOf(id, "stat"), text_)) return error;
    const std::optional<StatFields> stat = ParseStat(text_);
    if (!stat) return ENOENT;  // not a process's stat: nothing to list
    // Counters that may not be read stay zero.
    if (const int error = reader_.Read(PathOf(id, "status"), text_);
        error != 0 && !MeansRefused(error))
      return error;
    const StatusFields status = ParseStatus(text_);

    layout::SystemProcess record{};
    record.CreateTime = FileTimeOfStart(clock_.bootTime, stat->startTicks, clock_.ticksPerSecond);
    record.UserTime = DurationFromTicks(stat->userTicks, clock_.ticksPerSecond);
    record.KernelTime = DurationFromTicks(stat->systemTicks, clock_.ticksPerSecond);
    record.BasePriority = BasePriorityOf(stat->nice, stat->policy);
    record.UniqueProcessId = id;
    record.InheritedFromUniqueProcessId = stat->parentPid;
    record.Vm = MemoryCountersOf(status, *stat);
    record.PrivatePageCount = PrivateBytesOf(status);
    // io needs the rights to trace the process, and a kernel that counts
    // I/O: without either the counters are marked unknown, never given as
    // zeros.
    if (const int error = reader_.Read(PathOf(id, "io"), text_); error == 0)
      record.Io = IoCountersOf(ParseIo(text_));
    else if (MeansRefused(error) || MeansGone(error))
      record.SourceMarks |= layout::kIoCountersUnknown;
    else
      return error;
    out_.resize(start + sizeof record);

    if (const int error = AppendThreads(id, *stat, status, record.NumberOfThreads)) return error;
    int name_error = 0;
    const std::string utf8_name = ImageName(reader_, id, *stat, name_error);
    if (name_error != 0) return name_error;
    // The one conversion of the name, into the record's UTF-16.
    const CZelString name = CZelString::FromUtf8(utf8_name);
    const unsigned short* units = name;
    record.ImageName.Length = static_cast<std::uint16_t>(
        std::min(name.GetLength() * sizeof(unsigned short), kMaxNameBytes));
    record.ImageName.MaximumLength = record.ImageName.Length;
    record.ImageName.Buffer = out_.size();
    const std::size_t name_at = out_.size();
    out_.resize(start + Aligned(out_.size() - start + record.ImageName.Length));
    std::memcpy(out_.data() + name_at, units, record.ImageName.Length);
    record.NextEntryOffset = static_cast<std::uint32_t>(out_.size() - start);
    std::memcpy(out_.data() + start, &record, sizeof record);
    return 0;
  }

  // A process that reports one thread has only the one that it started
  // with, whose ID is the process's: its stat is the process's own.
  int AppendThreads(std::uint32_t id, const StatFields& stat, const StatusFields& status,
                    std::uint32_t& count) {
    count = 0;
    if (status.threads == 1) {
      Put(ThreadRecord(id, id, stat, clock_));
      count = 1;
      return 0;
    }
    const ProcListing tasks = reader_.List(PathOf(id, "task"));
    if (!tasks.ok()) return tasks.error;
    std::vector<std::uint32_t> threads;
    for (const std::string& name : tasks.names)
      if (const auto tid = ParseId(name)) threads.push_back(*tid);
    std::sort(threads.begin(), threads.end());
    for (const std::uint32_t tid : threads) {
      // A thread that ends while it is read is left out.
      if (const int error = reader_.Read(ThreadPathOf(id, tid, "stat"), text_); error != 0) {
        if (MeansGone(error)) continue;
        return error;
      }
      const std::optional<StatFields> thread = ParseStat(text_);
      if (!thread) continue;
      Put(ThreadRecord(id, tid, *thread, clock_));
      ++count;
    }
    return 0;
  }

  void Put(const layout::SystemThread& thread) {
    const std::size_t at = out_.size();
    out_.resize(at + sizeof thread);
    std::memcpy(out_.data() + at, &thread, sizeof thread);
  }

  const ProcReader& reader_;
  const ProcClock& clock_;
  std::vector<std::byte>& out_;
  std::string text_;
};

// Copies the records into the caller's buffer and turns each name offset
// into the address of the name there; the last record ends the chain.
void Place(const std::vector<std::byte>& records, std::byte* buffer) {
  std::memcpy(buffer, records.data(), records.size());
  std::size_t at = 0;
  for (;;) {
    const auto name_offset =
        layout::Load<std::uint64_t>(buffer + at, ZEL_OFFSET(SystemProcess, ImageName.Buffer));
    layout::Store(
        buffer + at, ZEL_OFFSET(SystemProcess, ImageName.Buffer),
        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(buffer + name_offset)));
    const auto next =
        layout::Load<std::uint32_t>(buffer + at, ZEL_OFFSET(SystemProcess, NextEntryOffset));
    if (at + next >= records.size()) {
      layout::Store(buffer + at, ZEL_OFFSET(SystemProcess, NextEntryOffset), std::uint32_t{0});
      return;
    }
    at += next;
  }
}

}  // namespace

std::string ImageName(const ProcReader& reader, std::uint32_t id, const StatFields& stat,
                      int& error) {
  error = 0;
  // A kernel thread's name is never cut, and has no arguments to complete it.
  if (stat.comm.size() != kCommandNameLimit || (stat.flags & kKernelThreadFlag) != 0)
    return stat.comm;
  const ProcText cmdline = reader.ReadFile(PathOf(id, "cmdline"));
  if (cmdline.ok()) {
    const std::string_view name = FileNameOf(std::string_view(cmdline.text.c_str()));
    if (name.size() > stat.comm.size() && name.starts_with(stat.comm)) return std::string(name);
  } else if (!MeansRefused(cmdline.error)) {
    error = cmdline.error;
  }
  return stat.comm;
}

ZelCode QueryProcesses(const ProcReader& reader, const ProcClock& clock, void* buffer,
                       std::size_t size, ZelUlong* needed) {
  // A listing that failed is no empty one: the snapshot fails with its code.
  int listing_error = 0;
  const std::vector<std::uint32_t> ids = ProcessIds(reader, listing_error);
  if (listing_error != 0) return CodeOfErrno(listing_error);
  if (ids.empty()) {
    // Nothing to write: the caller learns it from the size.
    if (needed) *needed = 0;
    return code::kStatusSuccess;
  }
  // Each process has a record of its own and one of its thread at the least.
  const std::size_t least =
      ids.size() * (sizeof(layout::SystemProcess) + sizeof(layout::SystemThread));
  if (size < least || buffer == nullptr) {
    const std::size_t estimate = ids.size() * (sizeof(layout::SystemProcess) + kNameAllowance) +
                                 ThreadsRunning(reader, ids.size()) * sizeof(layout::SystemThread) +
                                 kGrowthAllowance;
    if (needed) *needed = static_cast<ZelUlong>(estimate + estimate / 8);
    return code::kStatusInfoLengthMismatch;
  }
  std::vector<std::byte> records;
  records.reserve(size);
  RecordBuilder builder(reader, clock, records);
  for (const std::uint32_t id : ids)
    if (const int error = builder.Append(id)) return CodeOfErrno(error);
  if (needed) *needed = static_cast<ZelUlong>(records.size());
  if (records.empty()) return code::kStatusSuccess;
  if (records.size() > size) return code::kStatusInfoLengthMismatch;
  Place(records, static_cast<std::byte*>(buffer));
  return code::kStatusSuccess;
}

}  // namespace zel::procfs
