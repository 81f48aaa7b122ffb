// The codes that the library records, under the short names its sources use;
// each value is defined once, in the public ZelCodes.h.
#pragma once

#include "ZelCodes.h"

namespace zel::code {
inline constexpr ZelCode kSuccess = kErrorSuccess;
inline constexpr ZelCode kTooManyOpenFiles = kErrorTooManyOpenFiles;
inline constexpr ZelCode kAccessDenied = kErrorAccessDenied;
inline constexpr ZelCode kInvalidHandle = kErrorInvalidHandle;
inline constexpr ZelCode kOutOfMemory = kErrorOutOfMemory;
inline constexpr ZelCode kReadFault = kErrorReadFault;
inline constexpr ZelCode kNotSupported = kErrorNotSupported;
inline constexpr ZelCode kInvalidParameter = kErrorInvalidParameter;
inline constexpr ZelCode kInsufficientBuffer = kErrorInsufficientBuffer;
inline constexpr ZelCode kModuleNotFound = kErrorModNotFound;
inline constexpr ZelCode kProcNotFound = kErrorProcNotFound;
inline constexpr ZelCode kMoreData = kErrorMoreData;
inline constexpr ZelCode kNoMoreItems = kErrorNoMoreItems;
inline constexpr ZelCode kPartialCopy = kErrorPartialCopy;
inline constexpr ZelCode kNoToken = kErrorNoToken;
inline constexpr ZelCode kNotFound = kErrorNotFound;
inline constexpr ZelCode kUnknownProperty = kErrorUnknownProperty;

using zel::kStatusAccessDenied;
using zel::kStatusDatatypeMisalignment;
using zel::kStatusInfoLengthMismatch;
using zel::kStatusInvalidHandle;
using zel::kStatusInvalidInfoClass;
using zel::kStatusNotSupported;
using zel::kStatusSuccess;
using zel::kStillActive;
}  // namespace zel::code
