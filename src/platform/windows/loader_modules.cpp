// The modules of a live process, from the loader's list of them in its own
// memory: for a 32-bit process the list that its 32-bit PEB leads to.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "../codes.h"
#include "../module_list.h"
#include "../source.h"
#include "remote_blocks.h"
#include "unique_handle.h"

#if !defined(ZEL_FAKE_WINDOWS)
// The fields that the platform's own headers name lie where the layouts put
// them.
static_assert(offsetof(::PEB, Ldr) == offsetof(zel::layout::PebPrefix, Ldr));
static_assert(offsetof(::PEB_LDR_DATA, InMemoryOrderModuleList) ==
              offsetof(zel::layout::LoaderData, InMemoryOrderModuleList));
static_assert(offsetof(::LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks) ==
              offsetof(zel::layout::LoaderEntry, InMemoryOrderLinks));
static_assert(offsetof(::LDR_DATA_TABLE_ENTRY, DllBase) ==
              offsetof(zel::layout::LoaderEntry, DllBase));
static_assert(offsetof(::LDR_DATA_TABLE_ENTRY, FullDllName) ==
              offsetof(zel::layout::LoaderEntry, FullDllName));
#endif

namespace zel::source {
namespace {

using windows::BlockKind;

// The layouts of one kind of process.
struct Native {
  using Data = layout::LoaderData;
  using Entry = layout::LoaderEntry;
};
struct Wow64 {
  using Data = layout::LoaderData32;
  using Entry = layout::LoaderEntry32;
};

std::uint64_t LoaderDataAddress(const windows::PebImage& peb, BlockKind kind) {
  if (kind == BlockKind::Wow64)
    return layout::Load<std::uint32_t>(peb.data(), ZEL_OFFSET(PebPrefix32, Ldr));
  return layout::Load<std::uint64_t>(peb.data(), ZEL_OFFSET(PebPrefix, Ldr));
}

// Bytes read out of the process at a known address, of which a string may be
// taken without another read.
struct Span {
  std::uint64_t address = 0;
  std::vector<std::byte> bytes;

  // The text of `units` UTF-16 units at `at` into `text`, when the span holds
  // it whole.
  bool Take(std::uint64_t at, std::size_t units, std::u16string& text) const {
    if (at < address || at - address > bytes.size() ||
        units * sizeof(char16_t) > bytes.size() - (at - address))
      return false;
    text.assign(units, u'\0');
    std::memcpy(text.data(), bytes.data() + (at - address), units * sizeof(char16_t));
    return true;
  }
};

// The loader entry at `at`, with the rest of its page, where the loader
// usually keeps the entry's strings too: one read where it takes two
// otherwise. The platform protects whole pages, so the rest can be read
// wherever the entry can; an entry that does not fit its page comes with the
// rest of the next. Should that read fail all the same, the entry alone is
// read. False when it cannot be read.
template <class Entry>
bool ReadEntry(os::HANDLE live, std::uint64_t at, Entry& entry, Span& span) {
  const std::uint64_t last_page = (at + sizeof entry - 1) & ~(layout::kPageSize - 1);
  span.address = at;
  span.bytes.resize(last_page + layout::kPageSize - at);
  if (windows::ReadRemote(live, at, span.bytes.data(), span.bytes.size())) {
    std::memcpy(&entry, span.bytes.data(), sizeof entry);
    return true;
  }
  span.bytes.clear();
  return windows::ReadRemote(live, at, &entry, sizeof entry);
}

// The text of a counted string: from `span` when it holds it, else read. An
// odd byte length drops its last byte. False when it cannot be read.
bool ReadText(os::HANDLE live, const Span& span, const windows::StringDescriptor& descriptor,
              std::u16string& text) {
  const std::size_t units = descriptor.length / sizeof(char16_t);
  if (span.Take(descriptor.address, units, text)) return true;
  text.assign(units, u'\0');
  return units == 0 ||
         windows::ReadRemote(live, descriptor.address, text.data(), units * sizeof(char16_t));
}

// The file name, which as a rule is the end of the path: taken from it when
// it lies there, so that it needs no read.
bool NameFromPath(const windows::StringDescriptor& full, const std::u16string& path,
                  const windows::StringDescriptor& base, std::u16string& name) {
  const std::size_t units = base.length / sizeof(char16_t);
  if (base.address < full.address || (base.address - full.address) % sizeof(char16_t) != 0)
    return false;
  const std::uint64_t offset = (base.address - full.address) / sizeof(char16_t);
  if (offset > path.size() || units > path.size() - offset) return false;
  name.assign(path, offset, units);
  return true;
}

// One reading of the load order list into `list`: false when the list
// changed under it (or is corrupt): a link that cannot be read, or whose
// entry does not link back to the one before it. Since every entry must link
// back, a walk that comes back to the head visits no entry twice, and a
// circular list cannot hold it. Throws std::bad_alloc.
template <class Kind>
bool ReadList(os::HANDLE live, std::uint64_t data_address, ModuleList& list) {
  using Data = typename Kind::Data;
  using Entry = typename Kind::Entry;
  list.Clear();
  Data data;
  if (!windows::ReadRemote(live, data_address, &data, sizeof data)) return false;
  const std::uint64_t head = data_address + offsetof(Data, InLoadOrderModuleList);
  std::uint64_t previous = head;
  Span span;
  for (std::uint64_t at = data.InLoadOrderModuleList.Flink; at != head;) {
    Entry entry;
    if (!ReadEntry(live, at, entry, span) || entry.InLoadOrderLinks.Blink != previous) return false;
    const windows::StringDescriptor full{entry.FullDllName.Length, entry.FullDllName.Buffer};
    const windows::StringDescriptor base{entry.BaseDllName.Length, entry.BaseDllName.Buffer};
    if (!list.Fits((full.length + base.length) / sizeof(char16_t))) return true;
    Module module;
    module.base = entry.DllBase;
    module.size = entry.SizeOfImage;
    if (!ReadText(live, span, full, module.path)) return false;
    if (!NameFromPath(full, module.path, base, module.name) &&
        !ReadText(live, span, base, module.name))
      return false;
    list.Add(std::move(module));
    previous = at;
    at = entry.InLoadOrderLinks.Flink;
  }
  return data.InLoadOrderModuleList.Blink == previous;
}

}  // namespace

bool ReadModules(const Caller& caller, const Process& process, ModuleList& list) {
  const os::UniqueHandle live(OpenForRead(caller, process));
  if (!live) {
    caller.error.SetError(code::kAccessDenied);
    return false;
  }
  windows::PebImage peb;
  BlockKind kind;
  if (!windows::ReadOwnPeb(caller, live.Get(), peb, kind)) return false;
  const std::uint64_t data = LoaderDataAddress(peb, kind);
  // A process whose loader has not started yet has no modules.
  if (data == 0) return true;
  for (int read = 0; read < layout::kModuleListReads; ++read) {
    if (kind == BlockKind::Wow64 ? ReadList<Wow64>(live.Get(), data, list)
                                 : ReadList<Native>(live.Get(), data, list))
      return true;
  }
  list.Clear();
  caller.error.SetError(code::kPartialCopy);
  return false;
}

}  // namespace zel::source
