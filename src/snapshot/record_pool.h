// Where the records behind the library's handles live: blocks that stay
// mapped for as long as the library is loaded, so that the handle check can
// tell one of them readable without asking the platform. A record given back
// is cleared before it is handed out again, so a handle used after it was
// closed fails the check.
#pragma once

#include "../platform/layouts.h"

namespace zel::records {

// How many records the pool adds at a time; the first ones cost no allocation.
inline constexpr std::size_t kRecordsPerBlock = 2048;

// A cleared record. Throws std::bad_alloc.
layout::ZELFIND_RECORD* AllocateRecord();
// Gives back a record that AllocateRecord made.
void FreeRecord(layout::ZELFIND_RECORD* record);
// Whether a whole record at `p` lies in one of the pool's blocks; makes no
// platform call and takes no lock.
bool InRecordPool(const void* p);

}  // namespace zel::records
