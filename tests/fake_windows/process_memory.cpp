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
  // Told as the call returns, whatever it returns: a test may change the
  // process between two reads.
  struct Returning {
    fake::System* system;
    ~Returning() { system->Returning("ReadProcessMemory"); }
  } const returning{system};
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

namespace zel::fake {
namespace {

// The loader layouts of one kind of process.
template <class Data, class Entry, class Peb>
struct LoaderKind {
  using DataLayout = Data;
  using EntryLayout = Entry;
  using PebLayout = Peb;
};

// Lays out the list (see LayOutModules) with the layouts of `Kind`.
template <class Kind>
std::vector<std::uint64_t> LayOutList(ProcessModel& process,
                                      const std::vector<ModuleModel>& modules,
                                      std::uint64_t peb_address, std::uint64_t base) {
  using Data = typename Kind::DataLayout;
  using Entry = typename Kind::EntryLayout;
  using Address = decltype(Entry{}.DllBase);
  using Counted = decltype(Entry{}.FullDllName);
  constexpr std::uint64_t kSlotAlignment = 0x100;
  const auto slot_of = [&](std::size_t bytes) {
    return (bytes + kSlotAlignment - 1) & ~(kSlotAlignment - 1);
  };
  const auto describe = [](std::uint64_t at, std::size_t units) {
    Counted counted{};
    counted.Length = static_cast<std::uint16_t>(units * sizeof(char16_t));
    counted.MaximumLength = static_cast<std::uint16_t>(counted.Length + sizeof(char16_t));
    counted.Buffer = static_cast<decltype(counted.Buffer)>(at);
    return counted;
  };

  std::vector<std::uint64_t> entries;
  std::uint64_t at = base + slot_of(sizeof(Data));
  for (const ModuleModel& module : modules) {
    entries.push_back(at);
    at += slot_of(sizeof(Entry) + (module.stringsApart ? 0 : module.path.size() + 1) * 2);
  }
  MemoryRegion region{
      base, std::vector<std::byte>((at - base + layout::kPageSize - 1) & ~(layout::kPageSize - 1)),
      "loader list"};
  MemoryRegion apart{at + layout::kPageSize, {}, "module strings"};
  const std::uint64_t head = base + offsetof(Data, InLoadOrderModuleList);
  Data data{};
  data.Length = sizeof data;
  data.InLoadOrderModuleList.Flink = static_cast<Address>(entries.empty() ? head : entries.front());
  data.InLoadOrderModuleList.Blink = static_cast<Address>(entries.empty() ? head : entries.back());
  Put(region.bytes, 0, &data, sizeof data);
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const ModuleModel& module = modules[i];
    const std::size_t slash = module.path.rfind(u'\\');
    const std::size_t name_start = slash == std::u16string::npos ? 0 : slash + 1;
    Entry entry{};
    entry.InLoadOrderLinks.Flink =
        static_cast<Address>(i + 1 < entries.size() ? entries[i + 1] : head);
    entry.InLoadOrderLinks.Blink = static_cast<Address>(i == 0 ? head : entries[i - 1]);
    entry.DllBase = static_cast<Address>(module.base);
    entry.SizeOfImage = module.size;
    std::uint64_t path_at = entries[i] + sizeof(Entry);
    std::uint64_t name_at = path_at + name_start * sizeof(char16_t);
    if (module.stringsApart) {
      path_at = apart.address + apart.bytes.size();
      Put(apart.bytes, apart.bytes.size(), module.path.c_str(), (module.path.size() + 1) * 2);
      name_at = apart.address + apart.bytes.size();
      Put(apart.bytes, apart.bytes.size(), module.path.c_str() + name_start,
          (module.path.size() - name_start + 1) * 2);
    } else {
      Put(region.bytes, path_at - base, module.path.c_str(), (module.path.size() + 1) * 2);
    }
    entry.FullDllName = describe(path_at, module.path.size());
    entry.BaseDllName = describe(name_at, module.path.size() - name_start);
    Put(region.bytes, entries[i] - base, &entry, sizeof entry);
  }
  process.memory.push_back(std::move(region));
  if (!apart.bytes.empty()) process.memory.push_back(std::move(apart));
  std::byte* peb = MemoryAt(process, peb_address);
  const auto ldr = static_cast<Address>(base);
  std::memcpy(peb + offsetof(typename Kind::PebLayout, Ldr), &ldr, sizeof ldr);
  return entries;
}

}  // namespace

std::byte* MemoryAt(ProcessModel& process, std::uint64_t address) {
  for (MemoryRegion& region : process.memory)
    if (address >= region.address && address - region.address < region.bytes.size())
      return region.bytes.data() + (address - region.address);
  return nullptr;
}

std::vector<std::uint64_t> LayOutModules(ProcessModel& process,
                                         const std::vector<ModuleModel>& modules, bool wow64,
                                         std::uint64_t base) {
  if (wow64)
    return LayOutList<LoaderKind<layout::LoaderData32, layout::LoaderEntry32, layout::PebPrefix32>>(
        process, modules, process.wow64PebAddress, base);
  return LayOutList<LoaderKind<layout::LoaderData, layout::LoaderEntry, layout::PebPrefix>>(
      process, modules, process.pebAddress, base);
}

}  // namespace zel::fake
