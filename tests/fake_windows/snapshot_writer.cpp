// Writes a model of the processes out as the native snapshot query does.
#include <cstring>

#include "platform/codes.h"
#include "fake_system.h"

namespace zel::fake {
namespace {

constexpr std::size_t kAlign = alignof(std::uint64_t);

std::size_t NameBytes(const ProcessModel& p) { return p.name.size() * sizeof(char16_t); }

std::size_t RecordSize(const ProcessModel& p) {
  const std::size_t bytes = sizeof(layout::SystemProcess) +
                            p.threads.size() * sizeof(layout::SystemThread) + NameBytes(p);
  return (bytes + kAlign - 1) / kAlign * kAlign;
}

}  // namespace

std::size_t SnapshotSize(const std::vector<ProcessModel>& processes) {
  std::size_t total = 0;
  for (const auto& p : processes) total += RecordSize(p);
  return total;
}

void WriteSnapshot(const std::vector<ProcessModel>& processes, std::byte* buffer) {
  std::byte* at = buffer;
  for (std::size_t i = 0; i < processes.size(); ++i) {
    const ProcessModel& p = processes[i];
    const std::size_t size = RecordSize(p);
    std::memset(at, 0, size);

    layout::SystemProcess rec{};
    rec.NextEntryOffset = i + 1 < processes.size() ? static_cast<std::uint32_t>(size) : 0;
    rec.NumberOfThreads = static_cast<std::uint32_t>(p.threads.size());
    rec.CreateTime = p.createTime;
    rec.UserTime = p.userTime;
    rec.KernelTime = p.kernelTime;
    rec.BasePriority = p.basePriority;
    rec.UniqueProcessId = p.id;
    rec.InheritedFromUniqueProcessId = p.parentId;
    rec.HandleCount = p.handleCount;
    rec.SessionId = p.sessionId;
    rec.Vm = p.vm;
    rec.PrivatePageCount = p.privatePageCount;
    rec.Io = p.io;

    std::byte* thread_at = at + sizeof rec;
    for (const ThreadModel& t : p.threads) {
      layout::SystemThread th{};
      th.KernelTime = t.kernelTime;
      th.UserTime = t.userTime;
      th.CreateTime = t.createTime;
      th.UniqueProcess = p.id;
      th.UniqueThread = t.id;
      th.Priority = t.priority;
      th.BasePriority = p.basePriority;
      std::memcpy(thread_at, &th, sizeof th);
      thread_at += sizeof th;
    }

    rec.ImageName.Length = static_cast<std::uint16_t>(NameBytes(p));
    rec.ImageName.MaximumLength = rec.ImageName.Length;
    if (!p.name.empty()) {
      std::memcpy(thread_at, p.name.data(), NameBytes(p));
      rec.ImageName.Buffer = reinterpret_cast<std::uintptr_t>(thread_at);
    }
    std::memcpy(at, &rec, sizeof rec);
    at += size;
  }
}

Status System::QuerySnapshot(void* buffer, std::uint32_t size, std::uint32_t* needed) {
  ++snapshotQueries_;
  if (!snapshotScript_.empty()) {
    QueryStep step = std::move(snapshotScript_.front());
    snapshotScript_.pop_front();
    if (auto status = step()) return *status;
  }
  const std::size_t required = SnapshotSize(processes);
  if (needed) *needed = static_cast<std::uint32_t>(required);
  if (required > size || buffer == nullptr) return code::kStatusInfoLengthMismatch;
  WriteSnapshot(processes, static_cast<std::byte*>(buffer));
  return code::kStatusSuccess;
}

}  // namespace zel::fake
