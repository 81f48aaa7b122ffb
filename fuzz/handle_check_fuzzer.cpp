// The library's check of the handles a host passes: every entry point that
// takes one, given a pointer that is not a handle of its kind, must refuse it
// with its code, without a fault, without writing to it and without freeing
// it; and no pointer the host forged may ever come back as a new handle.
//
// The reference: a pointer is a handle exactly when it is one of the handles
// the library handed out and has not taken back. Nothing the fuzzer writes is
// one, however well it is forged: its records can carry the size tag, kind
// and snapshot number of a genuine handle and the genuine handle's pointers.
//
// Input: byte 0 picks where the pointer goes (null; a small integer, below
// 64 KiB; an offset into the fuzzer's page or the hole after it; the record's
// bytes ending at the hole; or near a genuine handle, inside the library's
// pool of records), bytes 1-2 the integer or offset, byte 3 which genuine
// handle to forge or stand near (a process, thread or module handle) and
// whether to copy its state into the record, and the rest are the record's
// bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "edge_mapping.h"
#include "fake_windows/fake_system.h"
#include "fuzz_check.h"
#include "handle_world.h"
#include "platform/codes.h"
#include "platform/snapshot_records.h"
#include "snapshot/handle_record.h"
#include "support/handle_members.h"

namespace {

namespace code = zel::code;
namespace layout = zel::layout;
using layout::ZELFIND_RECORD;
using zel::test::Pointer;

constexpr std::uintptr_t kSmallIntegers = 0x10000;

zel::fuzz::EdgeMapping* edge = nullptr;
zel::fuzz::HandleWorld* world = nullptr;

// The reference assumes that no small integer is an address a record can be
// read at; a machine that maps pages there cannot run this fuzzer.
void RequireLowPagesUnmapped(const zel::fuzz::EdgeMapping& mapping) {
  for (std::uintptr_t at = 0; at < kSmallIntegers; at += mapping.PageSize())
    ZEL_FUZZ_CHECK(mapping.IsUnmapped(reinterpret_cast<const void*>(at)));
}

enum Placement { kNull, kSmallInteger, kOffset, kEndingAtHole, kNearGenuine, kPlacements };

// Copies the record's bytes into the page and gives the pointer to test.
void* Place(Placement placement, std::uint16_t value, const std::uint8_t* bytes, std::size_t size,
            void* genuine) {
  const std::size_t page = edge->PageSize();
  std::memset(edge->Base(), 0, page);
  std::size_t offset = 0;
  switch (placement) {
    case kNull: return nullptr;
    case kSmallInteger: return reinterpret_cast<void*>(std::uintptr_t{value});
    // Up to two records either side of a genuine handle, at any byte.
    case kNearGenuine:
      return static_cast<std::byte*>(genuine) + (value % (4 * sizeof(ZELFIND_RECORD) + 1)) -
             2 * sizeof(ZELFIND_RECORD);
    case kOffset: offset = value % (2 * page); break;
    case kEndingAtHole:
    case kPlacements: offset = page - std::min(size, page); break;
  }
  if (offset < page) std::memcpy(edge->Base() + offset, bytes, std::min(size, page - offset));
  return edge->Base() + offset;
}

// Makes the record at `pointer` a forgery of `genuine` that passes every
// test of its bytes: the genuine handle's size tag, kind, position, pointers
// (the pattern's included) and snapshot number.
void Forge(void* pointer, const void* genuine) {
  const auto at = reinterpret_cast<std::uintptr_t>(pointer);
  const auto begin = reinterpret_cast<std::uintptr_t>(edge->Base());
  if (at < begin || at > begin + edge->PageSize() - sizeof(ZELFIND_RECORD) ||
      at % alignof(ZELFIND_RECORD) != 0)
    return;
  std::memcpy(pointer, genuine, sizeof(ZELFIND_RECORD));
}

// What the pointer is: a genuine handle of the world's, or none.
Pointer Reference(const void* pointer) {
  for (const bool which : {false, true}) {
    if (pointer == world->ProcessHandle(which)) return Pointer::ProcessHandle;
    if (pointer == world->ThreadHandle(which)) return Pointer::ThreadHandle;
  }
  if (pointer == world->ModuleHandle()) return Pointer::ModuleHandle;
  return Pointer::NoHandle;
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
  const bool second = header[3] & 1;
  void* genuine = header[3] & 8   ? world->ModuleHandle()
                  : header[3] & 2 ? world->ThreadHandle(second)
                                  : world->ProcessHandle(second);

  edge->KeepHoleUnmapped();
  void* pointer = Place(placement, value, record, record_size, genuine);
  if (placement != kNearGenuine && (header[3] & 4)) Forge(pointer, genuine);
  const Pointer what = Reference(pointer);
  const std::vector<std::byte> before(edge->Base(), edge->End());
  zel::fuzz::Probe& p = world->Process();

  for (const auto& member : zel::test::HandleMembers()) {
    if (!zel::test::MustRefuse(member, what)) continue;
    p.Mark(0x5EEDC0DE);
    ZEL_FUZZ_CHECK(member.refuses(p, pointer));
    ZEL_FUZZ_CHECK(p.GetErrorCode() == member.refusal);
  }
  if (what != Pointer::NoHandle) {
    ZEL_FUZZ_CHECK(p.IsProcessHandle(pointer) == (what == Pointer::ProcessHandle ? 1 : 0));
    ZEL_FUZZ_CHECK(p.GetErrorCode() == code::kSuccess);
  }
  // Whatever the host passed, the next handle is one of the pool's own
  // records, never the host's memory.
  const zel::FindHandle fresh(p, p.DuplicateHandle(genuine));
  ZEL_FUZZ_CHECK(fresh.Get() != nullptr);
  ZEL_FUZZ_CHECK(placement == kNearGenuine || fresh.Get() != pointer);

  ZEL_FUZZ_CHECK(std::memcmp(before.data(), edge->Base(), before.size()) == 0);
  ZEL_FUZZ_CHECK(zel::fake::OpenHandleCount() == 0);
  return 0;
}
