// The library's check of the handles a host passes: every entry point that
// takes one, given a pointer that is not a handle of its kind, must refuse it
// with its code, without a fault and without writing to it; given a record
// that passes, it must serve it as it serves the handle it copies.
//
// The reference: a pointer is a handle of kind K when it is aligned as every
// record the library makes is, its 32 bytes are readable, its size tag is 32
// and its kind byte is K (1 process, 2 thread).
//
// Input: byte 0 picks where the pointer goes (null; a small integer, below
// 64 KiB; an offset into the fuzzer's page or the hole after it; the record's
// bytes ending at the hole), bytes 1-2 the integer or offset, byte 3 which
// genuine handles to copy, and the rest are the record's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "edge_mapping.h"
#include "fuzz_check.h"
#include "handle_calls.h"
#include "handle_world.h"
#include "platform/codes.h"
#include "fake_windows/fake_system.h"
#include "platform/layouts.h"

namespace {

namespace code = zel::code;
namespace layout = zel::layout;
using layout::ZELFIND_RECORD;

constexpr std::uintptr_t kSmallIntegers = 0x10000;

zel::fuzz::EdgeMapping* edge = nullptr;
zel::fuzz::HandleWorld* world = nullptr;

// The reference assumes that no small integer is an address a record can be
// read at; a machine that maps pages there cannot run this fuzzer.
void RequireLowPagesUnmapped(const zel::fuzz::EdgeMapping& mapping) {
  for (std::uintptr_t at = 0; at < kSmallIntegers; at += mapping.PageSize())
    ZEL_FUZZ_CHECK(mapping.IsUnmapped(reinterpret_cast<const void*>(at)));
}

enum Placement { kNull, kSmallInteger, kOffset, kEndingAtHole, kPlacements };

// Copies the record's bytes into the page and gives the pointer to test.
void* Place(Placement placement, std::uint16_t value, const std::uint8_t* bytes, std::size_t size) {
  const std::size_t page = edge->PageSize();
  std::memset(edge->Base(), 0, page);
  std::size_t offset = 0;
  switch (placement) {
    case kNull: return nullptr;
    case kSmallInteger: return reinterpret_cast<void*>(std::uintptr_t{value});
    case kOffset: offset = value % (2 * page); break;
    case kEndingAtHole:
    case kPlacements: offset = page - std::min(size, page); break;
  }
  if (offset < page) std::memcpy(edge->Base() + offset, bytes, std::min(size, page - offset));
  return edge->Base() + offset;
}

struct Expected {
  bool readable = false;
  bool sized = false;
  std::uint8_t kind = 0;
  bool Is(std::uint8_t k) const { return sized && kind == k; }
  bool KnownKind() const { return Is(layout::ZELFIND_PROCESS) || Is(layout::ZELFIND_THREAD); }
};

// Decided from where the pointer lies, apart from the library's probe.
Expected Reference(const void* pointer) {
  const auto at = reinterpret_cast<std::uintptr_t>(pointer);
  const auto base = reinterpret_cast<std::uintptr_t>(edge->Base());
  Expected e;
  e.readable = at >= base && at <= base + edge->PageSize() - layout::kFindRecordSize &&
               at % alignof(ZELFIND_RECORD) == 0;
  if (!e.readable) return e;
  std::uint32_t size;
  std::memcpy(&size, static_cast<const std::byte*>(pointer) + offsetof(ZELFIND_RECORD, cbSize),
              sizeof size);
  std::memcpy(&e.kind, static_cast<const std::byte*>(pointer) + offsetof(ZELFIND_RECORD, bKind),
              sizeof e.kind);
  e.sized = size == layout::kFindRecordSize;
  return e;
}

// Makes the record at `pointer` a copy of `genuine` in what the library keeps
// in it (the walk's position, record pointers and snapshot number); its size
// tag, kind byte, padding and, for a process record, the unused thread index
// stay as fuzzed.
void CopyState(void* pointer, const void* genuine, bool with_index) {
  const std::size_t from =
      with_index ? offsetof(ZELFIND_RECORD, nThreadIndex) : offsetof(ZELFIND_RECORD, pProcess);
  const std::size_t to = offsetof(ZELFIND_RECORD, bKind);
  std::memcpy(static_cast<std::byte*>(pointer) + from,
              static_cast<const std::byte*>(genuine) + from, to - from);
  // And the snapshot it was made in, without which no read goes through it.
  const std::size_t snapshot = offsetof(ZELFIND_RECORD, nSnapshot);
  std::memcpy(static_cast<std::byte*>(pointer) + snapshot,
              static_cast<const std::byte*>(genuine) + snapshot, sizeof(std::uint32_t));
}

void CheckCloseAndDuplicate(zel::fuzz::Probe& p, void* pointer, const Expected& e) {
  const ZelCode refused = e.sized ? code::kInvalidHandle : code::kInvalidParameter;
  if (!e.KnownKind()) {
    ZEL_FUZZ_CHECK(p.DuplicateHandle(pointer) == nullptr);
    ZEL_FUZZ_CHECK(p.GetErrorCode() == refused);
    ZEL_FUZZ_CHECK(p.CloseHandle(pointer) == 0);
    ZEL_FUZZ_CHECK(p.GetErrorCode() == refused);
    return;
  }
  // A record that passes is the host's to close, so the fuzzer closes only
  // its duplicate.
  const zel::FindHandle copy(p, p.DuplicateHandle(pointer));
  ZEL_FUZZ_CHECK(copy.Get() != nullptr && p.GetErrorCode() == code::kSuccess);
  ZEL_FUZZ_CHECK(p.IsProcessHandle(copy.Get()) == (e.Is(layout::ZELFIND_PROCESS) ? 1 : 0));
  if (e.Is(layout::ZELFIND_PROCESS))
    ZEL_FUZZ_CHECK(p.GetProcessID(copy.Get()) == zel::fuzz::kAppId);
  else
    ZEL_FUZZ_CHECK(p.GetThreadID(copy.Get()) == p.GetThreadID(pointer));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static zel::fuzz::EdgeMapping mapping;
  static zel::fuzz::HandleWorld handles;
  RequireLowPagesUnmapped(mapping);
  edge = &mapping;
  world = &handles;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t header[4] = {};
  std::memcpy(header, data, std::min(size, sizeof header));
  const std::uint8_t* record = data + std::min(size, sizeof header);
  const std::size_t record_size = size - std::min(size, sizeof header);
  const auto placement = static_cast<Placement>(header[0] % kPlacements);
  const auto value = static_cast<std::uint16_t>(header[1] | header[2] << 8);

  edge->KeepHoleUnmapped();
  void* pointer = Place(placement, value, record, record_size);
  const Expected e = Reference(pointer);
  zel::fuzz::Probe& p = world->Process();
  void* genuine_process = world->ProcessHandle(header[3] & 1);
  void* genuine_thread = world->ThreadHandle(header[3] & 2);
  if (e.Is(layout::ZELFIND_PROCESS)) CopyState(pointer, genuine_process, false);
  if (e.Is(layout::ZELFIND_THREAD)) CopyState(pointer, genuine_thread, true);
  const std::vector<std::byte> before(edge->Base(), edge->End());

  ZEL_FUZZ_CHECK(p.IsProcessHandle(pointer) == (e.Is(layout::ZELFIND_PROCESS) ? 1 : 0));
  ZEL_FUZZ_CHECK(p.GetErrorCode() == (!e.sized         ? code::kInvalidHandle
                                      : !e.KnownKind() ? code::kUnknownProperty
                                                       : code::kSuccess));
  if (e.Is(layout::ZELFIND_PROCESS))
    zel::fuzz::ReadsLikeProcess(p, pointer, genuine_process);
  else
    zel::fuzz::RejectsAsProcess(p, pointer);
  if (e.Is(layout::ZELFIND_THREAD))
    zel::fuzz::ReadsLikeThread(p, pointer, genuine_thread);
  else
    zel::fuzz::RejectsAsThread(p, pointer);
  CheckCloseAndDuplicate(p, pointer, e);

  ZEL_FUZZ_CHECK(std::memcmp(before.data(), edge->Base(), before.size()) == 0);
  ZEL_FUZZ_CHECK(zel::emu::OpenHandleCount() == 0);
  return 0;
}
