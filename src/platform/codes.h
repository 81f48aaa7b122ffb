// The Windows system error codes and native statuses that the library records.
#pragma once

#include "ZelError.h"

namespace zel::code {
inline constexpr ZelCode kSuccess = 0;               // ERROR_SUCCESS
inline constexpr ZelCode kTooManyOpenFiles = 4;      // ERROR_TOO_MANY_OPEN_FILES
inline constexpr ZelCode kAccessDenied = 5;          // ERROR_ACCESS_DENIED
inline constexpr ZelCode kInvalidHandle = 6;         // ERROR_INVALID_HANDLE
inline constexpr ZelCode kOutOfMemory = 14;          // ERROR_OUTOFMEMORY
inline constexpr ZelCode kReadFault = 30;            // ERROR_READ_FAULT
inline constexpr ZelCode kNotSupported = 50;         // ERROR_NOT_SUPPORTED
inline constexpr ZelCode kInvalidParameter = 87;     // ERROR_INVALID_PARAMETER
inline constexpr ZelCode kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
inline constexpr ZelCode kModuleNotFound = 126;      // ERROR_MOD_NOT_FOUND
inline constexpr ZelCode kProcNotFound = 127;        // ERROR_PROC_NOT_FOUND
inline constexpr ZelCode kNoMoreItems = 259;         // ERROR_NO_MORE_ITEMS
inline constexpr ZelCode kPartialCopy = 299;         // ERROR_PARTIAL_COPY
inline constexpr ZelCode kNoToken = 1008;            // ERROR_NO_TOKEN
inline constexpr ZelCode kNotFound = 1168;           // ERROR_NOT_FOUND
inline constexpr ZelCode kUnknownProperty = 1608;    // ERROR_UNKNOWN_PROPERTY

inline constexpr ZelCode kStatusSuccess = 0;
inline constexpr ZelCode kStillActive = 259;  // STILL_ACTIVE: no exit status yet
inline constexpr ZelCode kStatusDatatypeMisalignment = 0x80000002;
inline constexpr ZelCode kStatusInfoLengthMismatch = 0xC0000004;
inline constexpr ZelCode kStatusInvalidInfoClass = 0xC0000003;
inline constexpr ZelCode kStatusInvalidHandle = 0xC0000008;
inline constexpr ZelCode kStatusAccessDenied = 0xC0000022;
inline constexpr ZelCode kStatusNotSupported = 0xC00000BB;
}  // namespace zel::code
