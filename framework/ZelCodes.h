/// @file
/// The codes that ZelProcess records, under their Windows names.
///
/// CZelObject::GetErrorCode() gives one of these, or on Windows any other
/// last-error value or native status that a failed platform call left and
/// the library passed on. zel::ErrorMessage() gives the text of each.
#pragma once

#include "ZelError.h"

/// What ZelProcess adds for its hosts: the codes by name, their texts, the
/// owners of what an object lends.
namespace zel {

/// ERROR_SUCCESS: the operation succeeded.
inline constexpr ZelCode kErrorSuccess = 0;
/// ERROR_TOO_MANY_OPEN_FILES: on Linux, a file of /proc could not be opened
/// for want of file descriptors.
inline constexpr ZelCode kErrorTooManyOpenFiles = 4;
/// ERROR_ACCESS_DENIED: the live process could not be opened or read: the
/// caller may not, it has ended, its ID now names a later process, or (for
/// GetProcessInformation) the handle was not a valid process handle.
inline constexpr ZelCode kErrorAccessDenied = 5;
/// ERROR_INVALID_HANDLE: a bad handle where an operation answers one with
/// this code (GetMemoryCounters, GetIOCounters, GetUserAndDomain,
/// IsProcessHandle), or a handle whose kind byte is neither process nor
/// thread (CloseHandle, DuplicateHandle).
inline constexpr ZelCode kErrorInvalidHandle = 6;
/// ERROR_OUTOFMEMORY: an allocation failed inside the operation.
inline constexpr ZelCode kErrorOutOfMemory = 14;
/// ERROR_READ_FAULT: on Linux, a file of /proc failed to read for a reason
/// other than those with codes of their own.
inline constexpr ZelCode kErrorReadFault = 30;
/// ERROR_NOT_SUPPORTED: on Linux, GetReadHandle, GetPEB and GetTEB, which
/// have no Linux counterpart.
inline constexpr ZelCode kErrorNotSupported = 50;
/// ERROR_INVALID_PARAMETER: a bad handle in most operations (one that is not
/// the library's, of the wrong kind, or into another object's or an older
/// snapshot), an output record or buffer that cannot be written, or a
/// process ID that names no process.
inline constexpr ZelCode kErrorInvalidParameter = 87;
/// ERROR_INSUFFICIENT_BUFFER: the answer that the token's sizing query must
/// give; on Windows, what a too small account or domain buffer gives.
inline constexpr ZelCode kErrorInsufficientBuffer = 122;
/// ERROR_MOD_NOT_FOUND: construction found no loaded NTDLL.DLL.
inline constexpr ZelCode kErrorModNotFound = 126;
/// ERROR_PROC_NOT_FOUND: construction found one of the three native entry
/// points missing.
inline constexpr ZelCode kErrorProcNotFound = 127;
/// ERROR_MORE_DATA: GetEnvironmentBlock met its limit before the block's
/// end, and the copy holds the variables before it; or the end of a module
/// walk whose list was cut at its bounds: the process has more modules than
/// the handle holds.
inline constexpr ZelCode kErrorMoreData = 234;
/// ERROR_NO_MORE_ITEMS: the end of a process, thread or module walk, no
/// thread with the ID asked for, or a thread handle on a process without
/// threads.
inline constexpr ZelCode kErrorNoMoreItems = 259;
/// ERROR_PARTIAL_COPY: on Windows, a read of another process's memory that
/// delivered less than asked for, or a module list that kept changing under
/// its reads.
inline constexpr ZelCode kErrorPartialCopy = 299;
/// ERROR_NO_TOKEN: the process has no owner to name (on Linux, a status file
/// without a user ID).
inline constexpr ZelCode kErrorNoToken = 1008;
/// ERROR_NOT_FOUND: no snapshot to walk, no process (or module) matching the
/// pattern, no process with the ID asked for, or a snapshot without
/// processes.
inline constexpr ZelCode kErrorNotFound = 1168;
/// ERROR_INTERNAL_ERROR: a platform call failed inside itself and said so.
inline constexpr ZelCode kErrorInternalError = 1359;
/// ERROR_UNKNOWN_PROPERTY: IsProcessHandle was given a record whose kind
/// byte is none of process, thread and module.
inline constexpr ZelCode kErrorUnknownProperty = 1608;

/// STATUS_SUCCESS: a native query succeeded; the same value as
/// kErrorSuccess.
inline constexpr ZelCode kStatusSuccess = 0;
/// STATUS_DATATYPE_MISALIGNMENT: a native query was given a buffer off the
/// alignment of what it writes.
inline constexpr ZelCode kStatusDatatypeMisalignment = 0x80000002;
/// STATUS_INVALID_INFO_CLASS: a native query does not know the information
/// class asked for.
inline constexpr ZelCode kStatusInvalidInfoClass = 0xC0000003;
/// STATUS_INFO_LENGTH_MISMATCH: a native query was given a buffer too small
/// for its answer.
inline constexpr ZelCode kStatusInfoLengthMismatch = 0xC0000004;
/// STATUS_INVALID_HANDLE: a native query was given a platform handle that is
/// not one.
inline constexpr ZelCode kStatusInvalidHandle = 0xC0000008;
/// STATUS_ACCESS_DENIED: a native query was refused the information.
inline constexpr ZelCode kStatusAccessDenied = 0xC0000022;
/// STATUS_NOT_SUPPORTED: a native query that the target does not answer (on
/// Linux, every one but the snapshot).
inline constexpr ZelCode kStatusNotSupported = 0xC00000BB;

/// STILL_ACTIVE: the exit status that a process's basic information holds
/// while it runs. Not an outcome code; the same value as kErrorNoMoreItems.
inline constexpr ZelCode kStillActive = 259;

}  // namespace zel
