// What each live read records for a process it cannot read, the same on both
// targets: the Windows build's codes under Wine, which the Linux source gives
// for the same case.
#pragma once

#include "ZelError.h"

namespace zel::test {

struct LiveFailureCodes {
  ZelCode strings;      // each of the six string getters
  ZelCode environment;  // GetEnvironmentBuffer
  ZelCode owner;        // GetUserAndDomain; 0 where the owner is still read
};

// Ended and gone, or its ID since taken by another process: the strings and
// the owner find no process to open (ERROR_ACCESS_DENIED), the environment
// passes on why not (ERROR_INVALID_PARAMETER, no process with that ID).
inline constexpr LiveFailureCodes kGoneProcess = {5, 87, 5};
// Ended but not yet released (on Linux a zombie, or a kernel thread): it has
// no memory left to read, but its owner is still known.
inline constexpr LiveFailureCodes kProcessWithoutMemory = {5, 5, 0};

}  // namespace zel::test
