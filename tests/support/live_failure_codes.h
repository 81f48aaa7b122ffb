// What each live read records for a process it cannot read, the same on both
// targets: the Windows build's codes under Wine, which the Linux source gives
// for the same case.
#pragma once

#include <gtest/gtest.h>

#include <array>

#include "ZelError.h"
#include "ZelHandles.h"
#include "ZelProcess.h"

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

// The six getters of a live process's strings, by name.
struct Getter {
  const char* name;
  CZelString (CZelProcess::*read)(void*);
};

inline std::array<Getter, 6> Getters() {
  return {{{"GetImageFile", &CZelProcess::GetImageFile},
           {"GetCommandLineW", &CZelProcess::GetCommandLineW},
           {"GetCurrentDirectoryW", &CZelProcess::GetCurrentDirectoryW},
           {"GetWindowTitle", &CZelProcess::GetWindowTitle},
           {"GetDesktopName", &CZelProcess::GetDesktopName},
           {"GetPath", &CZelProcess::GetPath}}};
}

// Every string and the environment of the process fail with these codes, and
// its owner with its own (or is read, where that is 0).
inline void ExpectReadsFailWith(CZelProcess& p, void* h, const LiveFailureCodes& codes) {
  for (const Getter& getter : Getters()) {
    EXPECT_TRUE((p.*getter.read)(h).IsEmpty()) << getter.name;
    EXPECT_EQ(p.GetErrorCode(), codes.strings) << getter.name;
  }
  const EnvironmentCopy copy(p, p.GetEnvironmentBuffer(h));
  EXPECT_EQ(copy.Get(), nullptr);
  EXPECT_EQ(p.GetErrorCode(), codes.environment);
  std::size_t size = 7;
  const EnvironmentCopy block(p, p.GetEnvironmentBlock(h, size));
  EXPECT_EQ(block.Get(), nullptr);
  EXPECT_EQ(p.GetErrorCode(), codes.environment);
  EXPECT_EQ(size, 7u);
  CZelString user, domain;
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), codes.owner == 0 ? 1 : 0);
  EXPECT_EQ(p.GetErrorCode(), codes.owner);
}

}  // namespace zel::test
