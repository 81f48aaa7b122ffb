// The record behind every handle the library hands out: private to the core,
// handed to the host only as an opaque pointer.
#pragma once

#include <cstddef>
#include <cstdint>

class CZelString;

namespace zel::source {
class ModuleList;
}  // namespace zel::source

namespace zel::layout {

// The record behind every handle the library hands out.
enum ZELFIND_KIND : std::uint8_t {
  ZELFIND_PROCESS = 1,
  ZELFIND_THREAD = 2,
  ZELFIND_MODULE = 3,
};

struct ZELFIND_RECORD {
  std::uint32_t cbSize;
  std::uint32_t nThreadIndex;
  const std::byte* pProcess;
  union {
    CZelString* pFilter;       // a process handle's own copy of its pattern
    const std::byte* pThread;  // a thread handle's current thread record
    // A module handle's own list, read when it was made; nThreadIndex is the
    // module it stands on, and pProcess the process it was read from.
    source::ModuleList* pModules;
  };
  std::uint8_t bKind;
  // Which snapshot the handle points into (the block's serial number).
  std::uint32_t nSnapshot;
};
static_assert(offsetof(ZELFIND_RECORD, cbSize) == 0);
static_assert(offsetof(ZELFIND_RECORD, nThreadIndex) == 4);
static_assert(offsetof(ZELFIND_RECORD, pProcess) == 8);
static_assert(offsetof(ZELFIND_RECORD, pFilter) == 16);
static_assert(offsetof(ZELFIND_RECORD, pThread) == 16);
static_assert(offsetof(ZELFIND_RECORD, pModules) == 16);
static_assert(offsetof(ZELFIND_RECORD, bKind) == 24);
static_assert(offsetof(ZELFIND_RECORD, nSnapshot) == 28);
static_assert(sizeof(ZELFIND_RECORD) == 32);
inline constexpr std::uint32_t kFindRecordSize = sizeof(ZELFIND_RECORD);

}  // namespace zel::layout
