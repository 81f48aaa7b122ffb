// The codes that each operation may leave while processes keep starting and
// exiting, on both targets, and why.
//
// Everything read from the snapshot succeeds whatever became of the process
// since: the snapshot is the library's own copy (process_facts.cpp,
// threads.cpp). Only I/O counters that the caller could not read when the
// snapshot was taken (on Linux, io needs the rights to trace the process)
// are refused with ERROR_ACCESS_DENIED (5). The walks end with ERROR_NO_MORE_ITEMS, and a process
// without thread records answers its thread ID with it too.
//
// The live facts find the process afresh for each call (on Windows for each
// step: the basic-information query, the PEB read, then the parameters or
// environment read; on Linux the file read, then its stat):
// - a process that is gone fails the open with ERROR_INVALID_PARAMETER (87),
//   which GetEnvironmentBuffer records as it is, while the strings and
//   GetUserAndDomain record ERROR_ACCESS_DENIED (5) for any failed open;
// - a process whose memory may not or can no longer be read (one that has
//   ended but is still held: on Linux a zombie) gives ERROR_ACCESS_DENIED (5);
// - on Windows, a read that meets memory released in part gives
//   ERROR_PARTIAL_COPY (299), and a process that goes between two of a
//   call's opens leaves the later read a null handle: ERROR_INVALID_HANDLE (6).
// The owner's token comes from an open of its own, and the main window
// search reads only the snapshot's ID.
#pragma once

#include <gtest/gtest.h>

#include "code_tally.h"

namespace zel::churn {

inline constexpr ZelCode kSuccess = 0;
inline constexpr ZelCode kAccessDenied = 5;
inline constexpr ZelCode kInvalidHandle = 6;
inline constexpr ZelCode kInvalidParameter = 87;
inline constexpr ZelCode kNoMoreItems = 259;
inline constexpr ZelCode kPartialCopy = 299;

inline const AllowedCodes kAllowed = {
    {"Refresh", {kSuccess}},
    {"FindFirstProcess", {kSuccess}},
    {"FindNextProcess", {kSuccess, kNoMoreItems}},
    {"CloseHandle", {kSuccess}},
    {"GetName", {kSuccess}},
    {"GetProcessID", {kSuccess}},
    {"GetParentProcess", {kSuccess}},
    {"GetBasePriority", {kSuccess}},
    {"GetThreadCount", {kSuccess}},
    {"GetCreateTime", {kSuccess}},
    {"GetUserTime", {kSuccess}},
    {"GetKernelTime", {kSuccess}},
    {"GetMemoryCounters", {kSuccess}},
    {"GetIOCounters", {kSuccess, kAccessDenied}},
    {"FindFirstThread", {kSuccess}},
    {"GetThreadID", {kSuccess, kNoMoreItems}},
    {"GetThreadParentProcess", {kSuccess}},
    {"GetThreadCreateTime", {kSuccess}},
    {"FindNextThread", {kSuccess, kNoMoreItems}},
    {"GetImageFile", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetCommandLineW", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetCurrentDirectoryW", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetWindowTitle", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetDesktopName", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetPath", {kSuccess, kAccessDenied, kInvalidHandle, kPartialCopy}},
    {"GetEnvironmentBuffer",
     {kSuccess, kAccessDenied, kInvalidHandle, kInvalidParameter, kPartialCopy}},
    {"FreeEnvironmentBuffer", {kSuccess}},
    {"GetUserAndDomain", {kSuccess, kAccessDenied}},
    {"GetMainWindow", {kSuccess}},
};

// Every code seen is one its operation may give, and no result disagreed
// with its code.
inline void ExpectOnlyAllowed(const CodeTally& tally) {
  const auto unexpected = tally.Unexpected(kAllowed);
  EXPECT_TRUE(unexpected.empty()) << "codes no operation may give here:" << FirstFew(unexpected);
  EXPECT_TRUE(tally.Breaches().empty()) << FirstFew(tally.Breaches());
}

}  // namespace zel::churn
