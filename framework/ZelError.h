// CZelError: the outcome code of the last operation performed by an object.
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
#define ZELERROR_API __attribute__((visibility("default")))
#endif

// Unsigned 32-bit, as the DWORD it stands for, and one type on every target:
// mingw-w64's DWORD is unsigned long, which printf wants as %lu there and
// which is 64-bit on Linux. This one prints with %u (or PRIu32) everywhere.
using ZelCode = std::uint32_t;

// Library objects record the result of each operation here; a host reads the
// outcome of the last operation with GetError() (0 means success).
class ZELERROR_API CZelError {
 public:
  CZelError();
  CZelError(const CZelError& other);
  virtual ~CZelError();

  const CZelError& operator=(const CZelError& other);

  // Replaces the held code; always returns 1.
  int SetError(ZelCode code);
  ZelCode GetError() const;

 private:
  ZelCode m_code;
};
