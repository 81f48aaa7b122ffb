/// @file
/// CZelError, the holder of an object's outcome code, and ZelCode, the code.
#pragma once

// First, so that an older standard meets its message before anything else.
#include "ZelVersion.h"

#include <cstdint>

#if defined(_WIN32)
#if defined(ZELERROR_BUILD)
#define ZELERROR_API __declspec(dllexport)
#else
#define ZELERROR_API __declspec(dllimport)
#endif
#else
/// Exports CZelError and the error texts from CZelError64 (imports them into
/// a host).
#define ZELERROR_API __attribute__((visibility("default")))
#endif

/// An outcome code: 0 (ERROR_SUCCESS), a Windows system error code, or a
/// native status (see ZelCodes.h).
///
/// Unsigned 32-bit, as the DWORD it stands for, and the same type on every
/// target, std::uint32_t: print it with `%u` (or `"%" PRIu32`), a status
/// with `0x%08X`, which give no format warning on either. (mingw-w64's DWORD
/// is unsigned long, which wants `%lu` there and is 64-bit on Linux.)
using ZelCode = std::uint32_t;

/// The holder of an object's outcome code: objects record the result of
/// each operation here, and a host reads the last one.
class ZELERROR_API CZelError {
 public:
  /// A holder of 0 (ERROR_SUCCESS).
  CZelError();
  /// A holder of the other's code.
  CZelError(const CZelError& other);
  /// Destroys the holder.
  virtual ~CZelError();

  /// Takes the other's code.
  const CZelError& operator=(const CZelError& other);

  /// Replaces the held code with `code`; always returns 1.
  int SetError(ZelCode code);
  /// The code held.
  ZelCode GetError() const;

 private:
  ZelCode m_code;
};
