// The live side of the fake processes: memory reads and the native
// process and thread queries.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/codes.h"
#include "fake_system.h"
#include "handle_table.h"
#include "platform_call.h"

namespace zel::fake {

// The thread with this ID and the process that owns it, or nulls.
std::pair<ProcessModel*, ThreadModel*> FindThread(System& system, std::uint32_t id) {
  for (auto& p : system.processes)
    for (auto& t : p.threads)
      if (t.id == id) return {&p, &t};
  return {nullptr, nullptr};
}

namespace {

void Put(std::vector<std::byte>& bytes, std::size_t offset, const void* value, std::size_t size) {
  if (bytes.size() < offset + size) bytes.resize(offset + size);
  std::memcpy(bytes.data() + offset, value, size);
}

// Adds a region holding `text` at `at` and describes it in `counted`.
template <class Counted>
void AddString(ProcessModel& process, std::uint64_t& at, const std::u16string& text,
               Counted& counted) {
  const std::size_t bytes = text.size() * sizeof(char16_t);
  counted.Length = static_cast<std::uint16_t>(bytes);
  counted.MaximumLength = static_cast<std::uint16_t>(bytes + sizeof(char16_t));
  counted.Buffer = static_cast<decltype(counted.Buffer)>(at);
  MemoryRegion region{at, {}, "string"};
  Put(region.bytes, 0, text.c_str(), bytes + sizeof(char16_t));
  process.memory.push_back(std::move(region));
  at += (bytes + 0x100) & ~std::uint64_t{0xFF};
}

// Lays out the blocks of one kind; `filler` is the byte where no field lies.
// Answers the PEB's address.
template <class Peb, class Parameters>
std::uint64_t LayOut(ProcessModel& process, const ProcessParametersModel& parameters,
                     std::uint64_t base, std::byte filler, Parameters block) {
  using Address = decltype(block.Environment);
  constexpr std::uint64_t kBlockSpacing = 0x1000;
  const std::uint64_t peb_at = base;
  const std::uint64_t parameters_at = base + kBlockSpacing;
  std::uint64_t strings_at = base + 2 * kBlockSpacing;

  block.MaximumLength = block.Length = static_cast<std::uint32_t>(layout::kParametersReadSize);
  AddString(process, strings_at, parameters.currentDirectory, block.CurrentDirectory);
  AddString(process, strings_at, parameters.dllPath, block.DllPath);
  AddString(process, strings_at, parameters.imagePath, block.ImagePathName);
  AddString(process, strings_at, parameters.commandLine, block.CommandLine);
  AddString(process, strings_at, parameters.windowTitle, block.WindowTitle);
  AddString(process, strings_at, parameters.desktop, block.DesktopInfo);

  block.Environment = static_cast<Address>(strings_at);
  MemoryRegion environment{strings_at, {}, "environment"};
  Put(environment.bytes, 0, parameters.environment.data(),
      parameters.environment.size() * sizeof(char16_t));
  process.memory.push_back(std::move(environment));

  MemoryRegion parameters_region{parameters_at,
                                 std::vector<std::byte>(layout::kParametersReadSize, filler),
                                 "process parameters"};
  Put(parameters_region.bytes, 0, &block, sizeof block);
  process.memory.push_back(std::move(parameters_region));

  Peb peb{};
  peb.ProcessParameters = static_cast<Address>(parameters_at);
  MemoryRegion peb_region{peb_at, std::vector<std::byte>(layout::kPebReadSize, filler), "PEB"};
  Put(peb_region.bytes, 0, &peb, sizeof peb);
  process.memory.push_back(std::move(peb_region));
  return peb_at;
}

}  // namespace

MemoryRegion* FindRegion(ProcessModel& process, std::uint64_t address) {
  for (auto& region : process.memory)
    if (region.address == address) return &region;
  return nullptr;
}

void LayOutParameters(ProcessModel& process, const ProcessParametersModel& parameters,
                      std::uint64_t base) {
  process.pebAddress = LayOut<layout::PebPrefix>(process, parameters, base, std::byte{0},
                                                 layout::ProcessParameters{});
}

void LayOutParameters32(ProcessModel& process, const ProcessParametersModel& parameters,
                        std::uint64_t base) {
  // As a process started without a window position: CW_USEDEFAULT.
  layout::ProcessParameters32 block{};
  for (std::uint32_t& placement : block.Placement) placement = 0x80000000;
  process.wow64PebAddress =
      LayOut<layout::PebPrefix32>(process, parameters, base, std::byte{0xA5}, block);
}

}  // namespace zel::fake

namespace zel::os {

BOOL ReadProcessMemory(HANDLE process, const void* address, void* buffer, SIZE_T size,
                       SIZE_T* bytes_read) {
  if (bytes_read) *bytes_read = 0;
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "ReadProcessMemory");
  using FaultKind = fake::CallFault::Kind;
  if (call.Fault() && call.Fault()->kind != FaultKind::ShortRead) {
    SetLastError(call.Fault()->code);
    return 0;
  }
  // A short read copies the first half of what a whole one would.
  const bool short_read = call.Fault().has_value();
  const fake::HandleEntry* entry = call.Find(process, fake::HandleKind::Process);
  if (!entry) {
    SetLastError(code::kInvalidHandle);
    return 0;
  }
  if (!(entry->access & kProcessVmRead)) {
    SetLastError(code::kAccessDenied);
    return 0;
  }
  const std::lock_guard lock(system->ModelMutex());
  fake::ProcessModel* target = system->FindProcess(entry->id);
  if (target && target->exitCode) {
    SetLastError(code::kAccessDenied);
    return 0;
  }
  if (size == 0) return 1;
  const auto from = reinterpret_cast<std::uintptr_t>(address);
  if (target) {
    for (const fake::MemoryRegion& region : target->memory) {
      if (from < region.address || from >= region.address + region.bytes.size()) continue;
      call.About(region.what);
      const std::size_t offset = from - region.address;
      std::size_t available = std::min<std::size_t>(size, region.bytes.size() - offset);
      if (short_read) available = std::min(available, size / 2);
      std::memcpy(buffer, region.bytes.data() + offset, available);
      if (bytes_read) *bytes_read = available;
      if (available == size) return 1;
      break;
    }
  }
  SetLastError(code::kPartialCopy);
  return 0;
}

// The region that holds the address: one of the process's, or the free span
// up to the next; past the user address space, none.
SIZE_T VirtualQueryEx(HANDLE process, const void* address, MEMORY_BASIC_INFORMATION* info,
                      SIZE_T size) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "VirtualQueryEx");
  const fake::HandleEntry* entry = fake::EntryForCall(call, process, fake::HandleKind::Process);
  if (!entry) return 0;
  constexpr std::uint64_t kUserSpaceEnd = 0x7FFFFFFF0000;
  const auto from = reinterpret_cast<std::uintptr_t>(address);
  if (size < sizeof *info || from >= kUserSpaceEnd) {
    SetLastError(code::kInvalidParameter);
    return 0;
  }
  const std::lock_guard lock(system->ModelMutex());
  const fake::ProcessModel* target = system->FindProcess(entry->id);
  if (!(entry->access & kProcessQueryInformation) || !target || target->exitCode) {
    SetLastError(code::kAccessDenied);
    return 0;
  }
  std::uint64_t free_end = kUserSpaceEnd;
  for (const fake::MemoryRegion& region : target->memory) {
    if (from >= region.address && from < region.address + region.bytes.size()) {
      call.About(region.what);
      *info = {reinterpret_cast<void*>(region.address),
               reinterpret_cast<void*>(region.address),
               kPageReadWrite,
               region.bytes.size(),
               kMemCommit,
               kPageReadWrite,
               0};
      return sizeof *info;
    }
    if (region.address > from) free_end = std::min<std::uint64_t>(free_end, region.address);
  }
  *info = {reinterpret_cast<void*>(from), nullptr, 0, free_end - from, kMemFree, kPageNoAccess, 0};
  return sizeof *info;
}

}  // namespace zel::os
