#include "proc_system.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <utility>

#include "../../codes.h"
#include "proc_parsers.h"
#include "unix_accounts.h"
#include "utf16_text.h"

namespace zel::emu::proc {
namespace {

// The environment's memory ends at a page boundary, as it does on Windows, so
// that a fixed-size read of it finds zeros after the final NUL.
constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kPageUnits = kPageBytes / sizeof(char16_t);
// A counted string's byte length, and that plus its NUL, must fit 16 bits.
constexpr std::size_t kCountedStringUnits = 32766;

void FitCountedString(std::u16string& text) {
  if (text.size() <= kCountedStringUnits) return;
  std::size_t keep = kCountedStringUnits;
  // Never keep half of a surrogate pair.
  if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  text.resize(keep);
}

}  // namespace

std::uint64_t KernelTicksPerSecond() {
  const long ticks = sysconf(_SC_CLK_TCK);
  return ticks > 0 ? static_cast<std::uint64_t>(ticks) : 100;
}

ProcSystem::ProcSystem(std::string root)
    : ProcSystem(std::make_unique<ProcReader>(std::move(root)), KernelTicksPerSecond()) {}

ProcSystem::ProcSystem(std::unique_ptr<ProcReader> reader, std::uint64_t ticksPerSecond)
    : reader_(std::move(reader)), ticksPerSecond_(ticksPerSecond) {}

// The boot time is read once: the kernel derives it from the wall clock, so a
// later read may differ by a second, and creation times must stay the same
// from one snapshot to the next. Without one, times count from 1970.
const ProcClock& ProcSystem::Clock() {
  if (!clock_) {
    const ProcText stat = reader_->ReadFile("stat");
    clock_ = ProcClock{stat.ok() ? ParseBootTime(stat.text).value_or(0) : 0, ticksPerSecond_};
  }
  return *clock_;
}

void ProcSystem::Reload() {
  std::vector<std::uint32_t> ids;
  const auto listing = reader_->List("");
  for (const std::string& name : listing.names)
    if (const auto id = ParseId(name)) ids.push_back(*id);
  std::sort(ids.begin(), ids.end());

  std::map<std::uint32_t, ProcessModel*> previous;
  for (ProcessModel& p : processes) previous[p.id] = &p;

  std::vector<ProcessModel> fresh;
  fresh.reserve(ids.size());
  for (const std::uint32_t id : ids) {
    std::optional<ProcessRecord> record = ReadProcessRecord(*reader_, id, Clock());
    if (!record) continue;
    std::optional<std::vector<ThreadModel>> threads = ReadThreads(*reader_, id, Clock());
    if (!threads) continue;
    ProcessModel& p = record->model;
    p.threads = std::move(*threads);
    ReadCounters(*reader_, id, p);
    if (const auto it = previous.find(id);
        it != previous.end() && it->second->createTime == p.createTime) {
      p.memory = std::move(it->second->memory);
      p.pebAddress = it->second->pebAddress;
      p.readOpenError = it->second->readOpenError;
    }
    fresh.push_back(std::move(p));
  }
  processes = std::move(fresh);
}

void ProcSystem::OnOpenProcess(std::uint32_t id) {
  std::optional<ProcessRecord> record = ReadProcessRecord(*reader_, id, Clock());
  ProcessModel* process = record ? Refresh(*record) : nullptr;
  if (!process) {
    Forget(id);
    return;
  }
  process->memory.clear();
  process->pebAddress = 0;
  process->readOpenError.reset();
  if (record->realUid) MakeAccountKnown(*record->realUid);
  // A kernel thread or a zombie opens, but has no memory to read.
  if (!record->hasAddressSpace) return;

  LiveParameters live = ReadLiveParameters(*reader_, id);
  switch (live.access) {
    case LiveParameters::Access::Gone:
      Forget(id);
      break;
    case LiveParameters::Access::Denied:
      process->readOpenError = code::kAccessDenied;
      break;
    case LiveParameters::Access::Readable:
      LayOutMemory(*process, std::move(live.parameters));
      break;
  }
}

ProcessModel* ProcSystem::Refresh(ProcessRecord& record) {
  const std::uint32_t id = record.model.id;
  ProcessModel* existing = FindProcess(id);
  if (existing && existing->createTime == record.model.createTime) {
    // Still the process of the last snapshot: its threads and counters stand.
    record.model.threads = std::move(existing->threads);
    record.model.io = existing->io;
    record.model.handleCount = existing->handleCount;
  } else {
    std::optional<std::vector<ThreadModel>> threads = ReadThreads(*reader_, id, Clock());
    if (!threads) return nullptr;
    record.model.threads = std::move(*threads);
    ReadCounters(*reader_, id, record.model);
  }
  if (existing) {
    *existing = std::move(record.model);
    return existing;
  }
  processes.push_back(std::move(record.model));
  return &processes.back();
}

void ProcSystem::Forget(std::uint32_t id) {
  std::erase_if(processes, [id](const ProcessModel& p) { return p.id == id; });
}

void ProcSystem::LayOutMemory(ProcessModel& process, ProcessParametersModel parameters) {
  for (std::u16string* text : {&parameters.imagePath, &parameters.commandLine,
                               &parameters.currentDirectory})
    FitCountedString(*text);
  const std::size_t pages = (parameters.environment.size() + kPageUnits - 1) / kPageUnits;
  parameters.environment.resize(pages * kPageUnits, u'\0');
  LayOutParameters(process, parameters);
}

void ProcSystem::MakeAccountKnown(std::uint32_t uid) {
  const std::string sid = UnixUserSid(uid);
  for (const AccountModel& account : accounts)
    if (account.sid == sid) return;
  accounts.push_back({sid, Utf16(UserNameOf(uid)), Utf16(HostName())});
}

}  // namespace zel::emu::proc
