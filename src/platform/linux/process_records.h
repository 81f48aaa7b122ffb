// The snapshot of the processes and threads that a /proc tree shows, written
// in the record format of the native snapshot query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ZelError.h"
#include "ZelTypes.h"
#include "proc_parsers.h"
#include "proc_reader.h"
#include "windows_terms.h"

namespace zel::procfs {

// Serves the snapshot as the native query does: writes the records of every
// process into `buffer` when they fit in `size` bytes and answers
// STATUS_SUCCESS, or answers STATUS_INFO_LENGTH_MISMATCH with the bytes
// needed in `needed`. A buffer too small for even a record of each process
// and of one thread each is answered from the count of processes and the
// threads that loadavg counts, so that a size probe reads no process.
// Processes that end while they are read are left out, and so are those
// whose stat the caller may not read; a read that fails for another cause
// fails the query with its code (ERROR_TOO_MANY_OPEN_FILES, 4, ...), and so
// does a listing of the tree that fails. A process whose io the caller may
// not read is marked so (layout::kIoCountersUnknown).
ZelCode QueryProcesses(const ProcReader& reader, const ProcClock& clock, void* buffer,
                       std::size_t size, ZelUlong* needed);

// The image name that ps and psutil show: the kernel's command name, or,
// when that was cut at 15 characters, the file name of the first argument
// that it begins. The executable's name is not used: another user may not
// read it, and a name must not depend on who looks. `error` is 0, or the
// errno of a read of the arguments that failed otherwise than refused.
std::string ImageName(const ProcReader& reader, std::uint32_t id, const StatFields& stat,
                      int& error);

}  // namespace zel::procfs
