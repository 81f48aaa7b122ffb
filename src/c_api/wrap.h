// What the C interface's functions share: the object behind its opaque
// pointer, and the helpers that make each function one call, so that no
// exception and no null pointer of the host's reaches the class.
//
// A further member of CZelProcess gets its wrapper as one of these calls in
// the file of its kind (object.cpp, handles.cpp, facts.cpp, live_facts.cpp,
// modules.cpp; a walk over a new kind of handle gets a file of its own), its
// declaration in ZelProcessC.h (such a walk in a section of its own), and
// nothing else: the export lists take every zel_ name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ZelProcess.h"
#include "ZelProcessC.h"
#include "platform/codes.h"
#include "platform/snapshot_records.h"

// The class itself, which lets the wrappers record the codes of their own
// refusals where the class records its codes.
struct zel_process : CZelProcess {
  void Record(ZelCode code) { m_Error.SetError(code); }
};

namespace zel::c_api {

// What the ID getters give on failure, as the class does.
inline constexpr std::uint32_t kNoId = 0xFFFFFFFF;

// The code of the exception being handled: called only in a catch block.
ZelCode CurrentExceptionCode() noexcept;

// Runs `call` on the object: a null object gives `failure`, and an
// exception `failure` with its code recorded.
template <class Result, class Call>
Result Invoke(zel_process* object, Result failure, Call&& call) noexcept {
  if (object == nullptr) return failure;
  try {
    return call(*object);
  } catch (...) {
    object->Record(CurrentExceptionCode());
    return failure;
  }
}

// Room for a record of the platform's (_FILETIME, _VM_COUNTERS, ...), which
// the class writes as bytes in the layout `Layout` and which is read back as
// one: on Windows the interface sees only the platform's declarations.
template <class Layout>
class PlatformRecord {
 public:
  template <class Platform>
  Platform& As() {
    return *reinterpret_cast<Platform*>(bytes_);
  }
  Layout Read() const { return layout::Load<Layout>(bytes_, 0); }

 private:
  alignas(Layout) unsigned char bytes_[sizeof(Layout)]{};
};

// Makes a caller's buffer ready for a string: false, with 87 recorded in the
// object if there is one, for a null `buf` with a nonzero `size`; else it
// holds the empty string (when it has room) and the result is true.
bool PrepareBuffer(zel_process* object, char* buf, std::size_t size) noexcept;

// Writes as much of `text` as fits into `buf` of `size` bytes, ending on a
// whole UTF-8 character, with a NUL after it; returns the whole length.
std::size_t CopyOut(std::string_view text, char* buf, std::size_t size) noexcept;

// A string member's text, as the interface's strings go out.
using StringMember = CZelString (CZelProcess::*)(void*);
std::size_t TextOf(zel_process* object, void* find, char* buf, std::size_t size,
                   StringMember member) noexcept;

// A time member's count, written to `*time` on success.
using TimeMember = int (CZelProcess::*)(void*, _FILETIME&);
int TimeOf(zel_process* object, void* find, std::uint64_t* time, TimeMember member) noexcept;

// Runs `call(object, *out)` when `out` is not null; else records 87 and fails.
template <class Out, class Call>
int Fill(zel_process* object, Out* out, Call&& call) noexcept {
  return Invoke(object, 0, [&](zel_process& o) {
    if (out == nullptr) {
      o.Record(code::kInvalidParameter);
      return 0;
    }
    return call(o, *out);
  });
}

}  // namespace zel::c_api
