// Where the records behind the library's handles live: blocks that stay
// mapped for as long as the library is loaded, each record marked in use
// from the moment it is handed out until it is given back. A pointer is a
// handle only when it is one of these records and in use, which the pool
// tells from the pointer's value alone: nothing at the pointer is read, so a
// host's own memory, a copy of a record, or a record already given back is
// never taken for a handle, and never freed.
#pragma once

#include "../platform/snapshot_records.h"
#include "handle_record.h"

namespace zel::records {

// How many records the pool adds at a time; the first ones cost no allocation.
inline constexpr std::size_t kRecordsPerBlock = 2048;

// A record holding `init`, marked in use. Throws std::bad_alloc.
layout::ZELFIND_RECORD* AllocateRecord(const layout::ZELFIND_RECORD& init);
// Gives back a record that AllocateRecord made and that is in use.
void FreeRecord(layout::ZELFIND_RECORD* record);
// The record at `p` when `p` is the start of one of the pool's records and
// that record is in use; null otherwise. Makes no platform call, takes no
// lock and reads nothing at `p` before it knows the record is in use.
layout::ZELFIND_RECORD* LiveRecord(const void* p);

}  // namespace zel::records
