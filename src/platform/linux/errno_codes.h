// The one table from the errors of /proc to the codes the library records:
// each is the last error that the Windows build's failing call would leave
// for the same cause.
#pragma once

#include "ZelError.h"

namespace zel::procfs {

// A process that has gone (ENOENT, ESRCH) is an ID that names no process,
// ERROR_INVALID_PARAMETER; one the caller may not read (EACCES, EPERM) is
// ERROR_ACCESS_DENIED; ENOMEM is ERROR_OUTOFMEMORY; a lack of descriptors
// (EMFILE, ENFILE) is ERROR_TOO_MANY_OPEN_FILES; any other error of a read is
// ERROR_READ_FAULT.
ZelCode CodeOfErrno(int error);

}  // namespace zel::procfs
